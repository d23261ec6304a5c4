#include "params/AssignmentMatrix.h"

#include "params/Assignments.h"

namespace zendal::tone {

namespace {

// "A", "A and B", "A, B and C".
QString listInWords(const QStringList& names) {
    if (names.size() < 2) return names.value(0);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           names.last();
}

// Marks the rows that share a column and says so, column by column.
void findShared(QVector<MatrixRow*> rows, const QStringList& columns, const QString& sentence,
                QStringList* notes) {
    for (int c = 0; c < columns.size(); ++c) {
        QStringList users;
        for (MatrixRow* row : rows)
            if (row->column == c) users << row->name;
        if (users.size() < 2) continue;
        for (MatrixRow* row : rows)
            if (row->column == c) row->shared = true;
        *notes << sentence.arg(columns[c], listInWords(users));
    }
}

}  // namespace

AssignmentMatrix buildAssignmentMatrix(const TControlDescriptor& d, const PanelSnapshot& values,
                                       bool bankMode) {
    AssignmentMatrix m;
    m.controlColumns = assign::assignTargets().mid(0, assign::kAssignNoneIndex);
    m.ledColumns = assign::ledTargets().mid(0, assign::kLedNoneIndex);

    auto column = [](int index, int noneIndex) { return index == noneIndex ? -1 : index; };
    for (int i = 0; i < d.param_count && i < TControlDescriptor::kMaxParams; ++i) {
        const QString& caption = d.captions[static_cast<size_t>(i)];
        const int byte = static_cast<int>(values.get(assignmentOf(i)));
        m.parameterRows.append(
            {caption.isEmpty() ? d.control_names[static_cast<size_t>(i)] : caption,
             column(assign::assignIndexForByte(byte), assign::kAssignNoneIndex)});
    }
    // Function bytes use the numbers of the FS, FL and RMT columns.
    auto functionColumn = [&](int byte) {
        return column(assign::assignIndexForByte(
                          assign::functionByteForIndex(assign::functionIndexForByte(byte))),
                      assign::kAssignNoneIndex);
    };
    m.functionRows.append({QStringLiteral("Bypass Toggle"), functionColumn(values.bypassFunction)});
    m.functionRows.append(
        {bankMode ? QStringLiteral("Bank Select") : QStringLiteral("Preset Change"),
         functionColumn(values.presetFunction)});
    for (int j = 0; j < d.readback_count && j < TControlDescriptor::kMaxReadbacks; ++j) {
        const int byte = static_cast<int>(values.get(ledOf(j)));
        m.readbackRows.append({d.readback_names[static_cast<size_t>(j)],
                               column(assign::ledIndexForByte(byte), assign::kLedNoneIndex)});
    }

    QVector<MatrixRow*> controlUsers;
    for (MatrixRow& row : m.parameterRows) controlUsers << &row;
    for (MatrixRow& row : m.functionRows) controlUsers << &row;
    findShared(controlUsers, m.controlColumns, QStringLiteral("%1 is used by %2."), &m.notes);
    QVector<MatrixRow*> ledUsers;
    for (MatrixRow& row : m.readbackRows) ledUsers << &row;
    findShared(ledUsers, m.ledColumns, QStringLiteral("The %1 LED shows %2."), &m.notes);
    return m;
}

}  // namespace zendal::tone
