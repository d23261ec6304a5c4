#pragma once

#include <QString>

namespace zendal {

// The one door to modal boxes and file dialogs. Windows call prompt(); tests
// install a scripted prompt that answers and records the exact texts. Code
// below the windows never calls it.
class Prompt {
  public:
    virtual ~Prompt() = default;
    // Information box with OK.
    virtual void information(const QString& text) = 0;
    // Confirmation box with Yes and No; true for Yes.
    virtual bool confirm(const QString& text) = 0;
    // File dialogs; filter in Qt form ("Wave Files (*.wav)"). Empty when cancelled.
    virtual QString openFileName(const QString& title, const QString& filter,
                                 const QString& directory) = 0;
    virtual QString saveFileName(const QString& title, const QString& filter,
                                 const QString& directory, const QString& proposedName,
                                 const QString& defaultSuffix) = 0;

    // Unstored changes are about to be left: Store, Discard or Cancel. Prompts
    // without a three-button box ask it as two questions: "store?", then "discard?".
    enum class UnstoredChoice { Store, Discard, Cancel };
    virtual UnstoredChoice unstoredChanges(const QString& text);
};

// The questions of the two-question form.
QString storeChangesQuestion(const QString& text);
QString discardChangesQuestion();

Prompt& prompt();
// Installs another prompt (tests); nullptr restores the widget prompt.
void setPrompt(Prompt* p);

}  // namespace zendal
