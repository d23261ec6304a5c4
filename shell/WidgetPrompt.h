#pragma once

#include "shell/Prompt.h"

namespace zendal {

// Real modal boxes and file dialogs (QMessageBox, QFileDialog).
class WidgetPrompt : public Prompt {
  public:
    void information(const QString& text) override;
    bool confirm(const QString& text) override;
    QString openFileName(const QString& title, const QString& filter,
                         const QString& directory) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& directory,
                         const QString& proposedName, const QString& defaultSuffix) override;
    UnstoredChoice unstoredChanges(const QString& text) override;
};

}  // namespace zendal
