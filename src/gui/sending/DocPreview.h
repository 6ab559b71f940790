#pragma once
// What is about to be sent, at the top of each send dialog: the first page small, the page
// count, and "Просмотр", which opens the document in the fax viewer.
#include "app/Ports.h"

#include <QWidget>
#include <string>

class QLabel;

class CDocPreview : public QWidget {
    Q_OBJECT
public:
    CDocPreview(std::string imagePath, IPrompt& prompt, QWidget* parent);

    int Pages() const { return m_pages; }
    // Replaces the page count's line (a personalised run tells the pages each recipient gets).
    void SetPagesText(const QString& text);

private:
    std::string m_path;
    IPrompt& m_prompt;
    int m_pages = 0;
    QLabel* m_pagesText;
};
