// The demonstration catalogue's figures: the rest of the editor (bank-mode size
// limit, impulse-response areas, firmware chunks, parameter indices) relies on them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QRegularExpression>
#include <QSet>
#include <QtEndian>

#include "effects/EffectCatalogue.h"
#include "params/DescriptorParser.h"
#include "resources/ResourceStore.h"

namespace zendal {
namespace {

QByteArray resource(const QString& name) {
    return ResourceStore::instance().read(name).value_or(QByteArray());
}

QByteArray imageOf(const QString& displayName) {
    return QByteArray::fromHex(effect_image_text(displayName).toLatin1());
}

QStringList allEffectNames() {
    QStringList names;
    for (int id = 1; id < kEffectIdCount; ++id) names << effect_name_by_id(id).value_or(QString());
    return names;
}

TEST(CatalogueFigures, EmbeddedCatalogueIsMarkedAsDemonstration) {
    EXPECT_TRUE(ResourceStore::instance().installedFolder().isEmpty());
    EXPECT_EQ(resource(QStringLiteral("CATALOGUE_ORIGIN")), QByteArray("demonstration"));
    EXPECT_TRUE(ResourceStore::instance().isDemonstration());
}

TEST(CatalogueFigures, EffectListHasSixtyFourNumberedUniqueLines) {
    const QStringList lines = read_file_from_stream(QStringLiteral("EFFECT_LIST"));
    ASSERT_EQ(lines.size(), kEffectIdCount);
    EXPECT_EQ(lines.first(), QStringLiteral("0:empty"));
    QSet<QString> names, resourceNames;
    for (int id = 0; id < lines.size(); ++id) {
        EXPECT_TRUE(lines[id].startsWith(QString::number(id, 16).toUpper() + QLatin1Char(':')))
            << lines[id].toStdString();
        const QString name = display_name_of_line(lines[id]);
        names.insert(name);
        resourceNames.insert(format_resource_name(name).toUpper());
    }
    EXPECT_EQ(names.size(), kEffectIdCount);
    EXPECT_EQ(resourceNames.size(), kEffectIdCount);  // no two effects share resources
    EXPECT_TRUE(names.contains(QStringLiteral("Tape Echo + Wah-Wah")));
    EXPECT_TRUE(names.contains(QStringLiteral("Octave X Fuzz")));
}

TEST(CatalogueFigures, CategoriesPartitionTheListedEffects) {
    const int sizes[] = {17, 15, 7, 4, 2, 4, 7};
    const QStringList all = allEffectNames();
    QSet<QString> listed;
    bool someEndWithBreak = false, someEndWithout = false;
    for (const EffectCategory& category : effect_categories()) {
        QString error;
        const QStringList members = category_members(category.displayName, &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(members.size(), sizes[category.index]) << category.displayName.toStdString();
        for (const QString& member : members) {
            EXPECT_TRUE(all.contains(member)) << member.toStdString();
            EXPECT_FALSE(listed.contains(member)) << "in two categories: " << member.toStdString();
            listed.insert(member);
        }
        const QByteArray raw = resource(category.resourceName);
        (raw.endsWith("\r\n") ? someEndWithBreak : someEndWithout) = true;
    }
    EXPECT_TRUE(someEndWithBreak);
    EXPECT_TRUE(someEndWithout);

    QList<int> unlisted;
    for (int id = 1; id < kEffectIdCount; ++id) {
        if (!listed.contains(all[id - 1])) unlisted << id;
    }
    EXPECT_EQ(unlisted, (QList<int>{0x09, 0x13, 0x25, 0x2D, 0x2F, 0x35, 0x36}));
    EXPECT_EQ(category_members(QStringLiteral("Impulse Response")),
              (QStringList{"Cabinet Sim + EQ", "Moss Drive + Cabinet Sim", "Woolly + Cabinet Sim",
                           "Basic Cabinet Sim"}));
}

TEST(CatalogueFigures, EveryImageCarriesItsHeaderAndAddressTable) {
    int larger = 0;
    QList<int> atLimit, justAbove;
    for (int id = 1; id < kEffectIdCount; ++id) {
        const QString name = *effect_name_by_id(id);
        SCOPED_TRACE(name.toStdString());
        const QStringList lines = read_file_from_stream(format_resource_name(name));
        ASSERT_EQ(lines.size(), 1);
        const QString& text = lines.first();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^([0-9A-F]{2})+$")).match(text).hasMatch());
        const QByteArray image = QByteArray::fromHex(text.toLatin1());
        const int size = static_cast<int>(image.size());
        EXPECT_EQ(get_effect_size(name), size);
        EXPECT_GE(size, 1216);
        EXPECT_LE(size, 9472);
        EXPECT_EQ(image[0], '\0');
        EXPECT_EQ(qFromBigEndian<quint16>(image.constData() + 1), size);
        EXPECT_EQ(static_cast<quint8>(image[35]), id);
        EXPECT_GE(image[36], 1);
        EXPECT_LE(image[36], 3);
        EXPECT_EQ(image.mid(37, 4), QByteArray("ZDMO"));
        QSet<quint16> addresses;
        for (int i = 0; i < 16; ++i)
            addresses.insert(qFromBigEndian<quint16>(image.constData() + 3 + 2 * i));
        EXPECT_EQ(addresses.size(), 16);
        if (size > kBankModeSizeLimit) ++larger;
        if (size == kBankModeSizeLimit) atLimit << id;
        if (size == kBankModeSizeLimit + 1) justAbove << id;
    }
    EXPECT_EQ(larger, 12);
    EXPECT_EQ(atLimit, QList<int>{0x3C});    // "Plate Reverb": still allowed in bank mode
    EXPECT_EQ(justAbove, QList<int>{0x3B});  // "Spring Reverb": the first size refused
}

TEST(CatalogueFigures, ImpulseResponseAreasHoldSignExtendedWords) {
    const struct {
        const char* name;
        int offset;
        int words;
    } layouts[] = {{"Cabinet Sim + EQ", 230, 882},
                   {"Moss Drive + Cabinet Sim", 362, 703},
                   {"Woolly + Cabinet Sim", 370, 703},
                   {"Basic Cabinet Sim", 230, 912}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.name);
        const QByteArray image = imageOf(QString::fromUtf8(l.name));
        EXPECT_GT(image.size(), kBankModeSizeLimit);
        ASSERT_GE(image.size(), l.offset + 4 * l.words);
        const QByteArray area = image.mid(l.offset, 4 * l.words);
        for (int w = 0; w < l.words; ++w) {
            const auto sign = static_cast<quint8>(area[4 * w]);
            const bool negative = static_cast<quint8>(area[4 * w + 1]) >= 0x80;
            ASSERT_EQ(sign, negative ? 0xFF : 0x00) << "word " << w;
        }
        EXPECT_GT(qFromBigEndian<qint32>(area.constData()), 0x100000);  // the impulse itself
    }
}

TEST(CatalogueFigures, FirmwareImagesAreVectorTablesWithVersionMarker) {
    const int sizes[] = {41252, 41396, 41420, 41356, 41712};
    for (int k = 1; k <= 5; ++k) {
        SCOPED_TRACE(k);
        const auto image = ResourceStore::instance().read(QStringLiteral("Firmware_%1").arg(k));
        ASSERT_TRUE(image.has_value());
        ASSERT_EQ(image->size(), sizes[k - 1]);
        EXPECT_EQ(qFromLittleEndian<quint32>(image->constData()), 0x20005000u);
        const quint32 reset = qFromLittleEndian<quint32>(image->constData() + 4);
        EXPECT_EQ(reset & 1u, 1u);  // Thumb
        EXPECT_GE(reset, 0x08000000u);
        EXPECT_LT(reset, 0x08000000u + static_cast<quint32>(image->size()));
        EXPECT_EQ(image->mid(0x200, 8), QByteArray("ZDMOFW\0\0", 8));
        EXPECT_EQ(static_cast<int>((*image)[0x208]), k);
    }
}

TEST(CatalogueFigures, EveryDescriptorButTheMalformedOneParses) {
    bool sawSwitch = false, sawButton = false, sawMulti = false, sawReadback = false;
    for (int id = 1; id < kEffectIdCount; ++id) {
        const QString name = *effect_name_by_id(id);
        SCOPED_TRACE(name.toStdString());
        TControlDescriptor d;
        QString error;
        const bool ok = loadDescriptorForEffect(name, &d, &error);
        if (id == 0x35) {
            EXPECT_FALSE(ok);
            EXPECT_TRUE(error.contains(QStringLiteral("Factory Test")));
            continue;
        }
        ASSERT_TRUE(ok) << error.toStdString();
        for (int i = 0; i < d.param_count; ++i) {
            const auto kind = d.kind(i);
            sawSwitch |= kind == TControlDescriptor::Kind::Switch;
            sawButton |= kind == TControlDescriptor::Kind::Button;
            sawMulti |= kind == TControlDescriptor::Kind::MultiSwitch;
        }
        sawReadback |= d.readback_count > 0;
    }
    EXPECT_TRUE(sawSwitch && sawButton && sawMulti && sawReadback);

    TControlDescriptor gate;
    ASSERT_TRUE(loadDescriptorForEffect(QStringLiteral("Noise Gate"), &gate, nullptr));
    EXPECT_EQ(gate.param_count, 2);
    EXPECT_EQ(gate.readback_count, 0);
    EXPECT_EQ(gate.param_addresses[0], QStringLiteral("0000"));
}

TEST(CatalogueFigures, DescriptionsLayoutsAndOrigin) {
    QStringList without;
    for (const QString& name : allEffectNames()) {
        const QString info = format_resource_name(name) + QStringLiteral("_INFO");
        if (!ResourceStore::instance().contains(info)) {
            without << name;
            continue;
        }
        const QByteArray page = resource(info);
        EXPECT_TRUE(page.contains("<html")) << name.toStdString();
        EXPECT_TRUE(page.contains(name.toHtmlEscaped().toUtf8())) << name.toStdString();
    }
    EXPECT_EQ(without.size(), 6) << without.join(QStringLiteral(", ")).toStdString();
    for (const char* layout : {"LAYOUT_1", "LAYOUT_2", "LAYOUT_3"}) {
        const QStringList lines = read_file_from_stream(QString::fromUtf8(layout));
        ASSERT_FALSE(lines.isEmpty()) << layout;
        for (const QString& line : lines) {
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+:\\S")).match(line).hasMatch())
                << line.toStdString();
        }
    }
}

// Qt reports a style sheet it cannot parse as a warning; catch it.
QStringList& styleWarnings() {
    static QStringList warnings;
    return warnings;
}

void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg &&
        text.contains(QStringLiteral("stylesheet"), Qt::CaseInsensitive)) {
        styleWarnings() << text;
    }
}

TEST(CatalogueFigures, StylesNameThemselvesCoverEveryWidgetAndParse) {
    const QStringList names = {"Default", "Dark",  "Light", "Stage",
                               "Amber",   "Ocean", "Slate", "Midnight"};
    const QStringList widgets = {"QWidget",      "QMenuBar",      "QMenu",        "QPushButton",
                                 "QListWidget",  "QComboBox",     "QSlider",      "QCheckBox",
                                 "QRadioButton", "QGroupBox",     "QProgressBar", "QLabel",
                                 "QLineEdit",    "QPlainTextEdit"};
    const QString before = qApp->styleSheet();
    for (int n = 0; n < 8; ++n) {
        SCOPED_TRACE(n);
        const auto bytes = ResourceStore::instance().read(QStringLiteral("Style_%1").arg(n));
        ASSERT_TRUE(bytes.has_value());
        const QString qss = QString::fromUtf8(*bytes);
        EXPECT_TRUE(qss.startsWith(QStringLiteral("/* %1 */").arg(names[n])));
        for (const QString& widget : widgets) {
            EXPECT_TRUE(
                qss.contains(QRegularExpression(QStringLiteral("(^|\\s)%1\\s*[{:,]").arg(widget))))
                << widget.toStdString();
        }
        styleWarnings().clear();
        const auto previous = qInstallMessageHandler(collectWarnings);
        qApp->setStyleSheet(qss);
        QCheckBox probe(QStringLiteral("probe"));
        probe.ensurePolished();
        qInstallMessageHandler(previous);
        EXPECT_TRUE(styleWarnings().isEmpty())
            << styleWarnings().join(QLatin1Char('\n')).toStdString();
    }
    qApp->setStyleSheet(before);
}

}  // namespace
}  // namespace zendal
