#include "gui/app/QtPrompt.h"

#include "app/Log.h"
#include "gui/shell/Commands.h"

#include <cstdio>

#include <QFileDialog>
#include <QMessageBox>

void CQtPrompt::SetNextAnswer(MsgAnswer answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(answer);
}

void CQtPrompt::SetNextFileName(std::optional<std::string> name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileNames.push_back(std::move(name));
}

std::vector<std::string> CQtPrompt::Asked() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_asked;
}

std::string CQtPrompt::LastFilters() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastFilters;
}

std::optional<MsgAnswer> CQtPrompt::NextAnswer() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_answers.empty()) {
        return std::nullopt;
    }
    MsgAnswer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

std::optional<std::optional<std::string>> CQtPrompt::NextFileName() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fileNames.empty()) {
        return std::nullopt;
    }
    auto n = std::move(m_fileNames.front());
    m_fileNames.pop_front();
    return n;
}

MsgAnswer CQtPrompt::Message(std::string_view text, MsgIcon icon, MsgButtons buttons) {
    const MsgAnswer answer = Ask(text, icon, buttons);
    if (m_answerHook) {
        m_answerHook(answer);
    }
    return answer;
}

MsgAnswer CQtPrompt::Ask(std::string_view text, MsgIcon icon, MsgButtons buttons) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_asked.emplace_back(text);
    }
    if (auto scripted = NextAnswer()) {
        return *scripted;
    }
    if (m_unattended) {
        LogLine("Message at the end of the session: " + std::string(text));
        std::fprintf(stderr, "velquin: %.*s\n", static_cast<int>(text.size()), text.data());
        return buttons == MsgButtons::Ok         ? MsgAnswer::Ok
               : buttons == MsgButtons::OkCancel ? MsgAnswer::Cancel
               : buttons == MsgButtons::YesNo    ? MsgAnswer::No
                                                 : MsgAnswer::Cancel;
    }
    QMessageBox box(m_parent);
    box.setWindowTitle(Str(ids::kProductName));
    box.setText(Q(text));
    switch (icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
    case MsgIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::None:
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    default:
        return MsgAnswer::Cancel;
    }
}

QStringList CQtPrompt::QtFilters(std::string_view filters) {
    QStringList parts = Q(filters).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString name = parts[i];
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << p.trimmed();
        }
        // The name already lists the patterns; Qt reads the last parenthesis as the filter.
        const qsizetype open = name.lastIndexOf(QLatin1Char('('));
        if (open > 0) {
            name = name.left(open).trimmed();
        }
        out << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    return out;
}

std::optional<std::string> CQtPrompt::AskOpenFile(std::string_view filters,
                                                  std::string_view initialDir) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastFilters = std::string(filters);
    }
    if (auto scripted = NextFileName()) {
        return *scripted;
    }
    QFileDialog dlg(m_parent, QString(), Q(initialDir));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, true);
    dlg.setNameFilters(QtFilters(filters));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dlg.selectedFiles().front().toStdString();
}

std::optional<std::string> CQtPrompt::AskSaveFile(std::string_view filters,
                                                  std::string_view defaultName,
                                                  std::string_view defaultExt) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastFilters = std::string(filters);
    }
    if (auto scripted = NextFileName()) {
        return *scripted;
    }
    QFileDialog dlg(m_parent);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilters(QtFilters(filters));
    dlg.setDefaultSuffix(Q(defaultExt));
    dlg.selectFile(Q(defaultName));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dlg.selectedFiles().front().toStdString();
}

void CQtPrompt::FileError(std::string_view text) {
    Message(text, MsgIcon::Warning, MsgButtons::Ok);
}
