#include "support/ScriptedPrompt.h"

namespace zendal::test {

ScriptedPrompt::ScriptedPrompt() {
    setPrompt(this);
}

ScriptedPrompt::~ScriptedPrompt() {
    setPrompt(nullptr);
}

void ScriptedPrompt::information(const QString& text) {
    informations.append(text);
    all_.append(text);
}

bool ScriptedPrompt::confirm(const QString& text) {
    confirmations.append(text);
    all_.append(text);
    if (confirms_.empty()) return false;
    const bool yes = confirms_.front();
    confirms_.pop_front();
    return yes;
}

QString ScriptedPrompt::openFileName(const QString& title, const QString& filter,
                                     const QString& directory) {
    dialogs.push_back({title, filter, directory, {}, {}});
    if (files_.empty()) return {};
    QString path = files_.front();
    files_.pop_front();
    return path;
}

QString ScriptedPrompt::saveFileName(const QString& title, const QString& filter,
                                     const QString& directory, const QString& proposedName,
                                     const QString& defaultSuffix) {
    dialogs.push_back({title, filter, directory, proposedName, defaultSuffix});
    if (files_.empty()) return {};
    QString path = files_.front();
    files_.pop_front();
    return path;
}

QStringList ScriptedPrompt::all() const {
    return all_;
}

}  // namespace zendal::test
