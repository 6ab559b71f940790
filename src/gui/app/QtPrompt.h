#pragma once
// The prompt port on Qt: message boxes and file dialogs. Tests script the answers ("set next
// answer", "set next file name"); a scripted answer is given without showing anything.
#include "app/Ports.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QWidget;

class CQtPrompt : public IPrompt {
public:
    MsgAnswer Message(std::string_view text, MsgIcon icon, MsgButtons buttons) override;
    std::optional<std::string> AskOpenFile(std::string_view filters,
                                           std::string_view initialDir) override;
    std::optional<std::string> AskSaveFile(std::string_view filters, std::string_view defaultName,
                                           std::string_view defaultExt) override;
    void FileError(std::string_view text) override;

    // Called on the GUI thread with every answer, before Message returns (empty: none).
    void SetAnswerHook(std::function<void(MsgAnswer)> hook) { m_answerHook = std::move(hook); }
    // While the session ends nobody answers a box: messages go to the log and stderr, and the
    // answer is Ok where that is the only button, else No / Cancel.
    void SetUnattended(bool unattended) { m_unattended = unattended; }

    // The window that owns the boxes (the main frame once it exists).
    void SetParent(QWidget* parent) { m_parent = parent; }

    // Scripting for tests: each answer or name is used once, in order.
    void SetNextAnswer(MsgAnswer answer);
    void SetNextFileName(std::optional<std::string> name);
    // Every message asked so far (text), scripted or shown.
    std::vector<std::string> Asked();
    // The filters of the last file dialog.
    std::string LastFilters();

    // "Name|*.a;*.b|Other|*.c||" -> Qt name filters "Name (*.a *.b)".
    static QStringList QtFilters(std::string_view filters);

private:
    MsgAnswer Ask(std::string_view text, MsgIcon icon, MsgButtons buttons);
    std::optional<MsgAnswer> NextAnswer();
    std::optional<std::optional<std::string>> NextFileName();

    QWidget* m_parent = nullptr;
    std::function<void(MsgAnswer)> m_answerHook;
    bool m_unattended = false;
    std::mutex m_mutex;
    std::deque<MsgAnswer> m_answers;
    std::deque<std::optional<std::string>> m_fileNames;
    std::vector<std::string> m_asked;
    std::string m_lastFilters;
};
