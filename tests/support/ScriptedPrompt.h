#pragma once

#include <QStringList>
#include <deque>

#include "shell/Prompt.h"

namespace zendal::test {

// Answers modal boxes and file dialogs from a script and records every text
// exactly. Installs itself for its lifetime.
class ScriptedPrompt : public Prompt {
  public:
    ScriptedPrompt();
    ~ScriptedPrompt() override;

    void information(const QString& text) override;
    bool confirm(const QString& text) override;
    QString openFileName(const QString& title, const QString& filter,
                         const QString& directory) override;
    QString saveFileName(const QString& title, const QString& filter, const QString& directory,
                         const QString& proposedName, const QString& defaultSuffix) override;

    // Answers, consumed in order. Unscripted confirmations answer No; unscripted
    // file dialogs are cancelled.
    void answerConfirm(bool yes) { confirms_.push_back(yes); }
    void answerFile(const QString& path) { files_.push_back(path); }

    QStringList informations;   // texts of information boxes, in order
    QStringList confirmations;  // texts of confirmation boxes, in order
    struct Dialog {
        QString title, filter, directory, proposedName, defaultSuffix;
    };
    std::vector<Dialog> dialogs;
    QStringList all() const;  // every box text, in order of appearance

  private:
    std::deque<bool> confirms_;
    std::deque<QString> files_;
    QStringList all_;
};

}  // namespace zendal::test
