#pragma once
#include <QDockWidget>
#include <QString>
#include <utility>
#include <vector>

class QListWidget;

// The navigator: a docked bar of large page icons.
class CSelector : public QDockWidget {
    Q_OBJECT
public:
    // One page a row: its title and the name of its icon in the resources.
    CSelector(const std::vector<std::pair<QString, QString>>& pages, QWidget* parent);
    QListWidget* List() const { return m_list; }
    void SetCurrent(int page);

Q_SIGNALS:
    void PageChosen(int page);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* m_list;
};
