#include "shell/WidgetPrompt.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace zendal {

namespace {
QString appTitle() {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Zendal Editor") : name;
}
}  // namespace

void WidgetPrompt::information(const QString& text) {
    QMessageBox::information(QApplication::activeWindow(), appTitle(), text);
}

bool WidgetPrompt::confirm(const QString& text) {
    return QMessageBox::question(QApplication::activeWindow(), appTitle(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString WidgetPrompt::openFileName(const QString& title, const QString& filter,
                                   const QString& directory) {
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, directory, filter);
}

QString WidgetPrompt::saveFileName(const QString& title, const QString& filter,
                                   const QString& directory, const QString& proposedName,
                                   const QString& defaultSuffix) {
    QFileDialog dialog(QApplication::activeWindow(), title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(QDir(directory).filePath(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

Prompt::UnstoredChoice WidgetPrompt::unstoredChanges(const QString& text) {
    QMessageBox box(QMessageBox::Question, appTitle(), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    QApplication::activeWindow());
    box.button(QMessageBox::Save)->setText(QStringLiteral("Store"));
    box.setDefaultButton(QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Save:
            return UnstoredChoice::Store;
        case QMessageBox::Discard:
            return UnstoredChoice::Discard;
        default:
            return UnstoredChoice::Cancel;
    }
}

Prompt::UnstoredChoice Prompt::unstoredChanges(const QString& text) {
    if (confirm(storeChangesQuestion(text))) return UnstoredChoice::Store;
    if (confirm(discardChangesQuestion())) return UnstoredChoice::Discard;
    return UnstoredChoice::Cancel;
}

QString storeChangesQuestion(const QString& text) {
    return text + QStringLiteral("\r\nStore them on the pedal?");
}

QString discardChangesQuestion() {
    return QStringLiteral("Discard the unstored changes?");
}

namespace {
Prompt* g_prompt = nullptr;
}

Prompt& prompt() {
    static WidgetPrompt widgets;
    return g_prompt ? *g_prompt : widgets;
}

void setPrompt(Prompt* p) {
    g_prompt = p;
}

}  // namespace zendal
