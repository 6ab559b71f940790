#pragma once
#include <QStackedWidget>
#include <array>

// The page stack: up to five page windows, one shown at a time.
class CFakeView : public QStackedWidget {
    Q_OBJECT
public:
    static constexpr int kSlots = 5;
    explicit CFakeView(QWidget* parent);
    void SetPage(int index, QWidget* page);
    // False for an index outside 0..4 or an empty slot.
    bool SelectPage(int index);
    int ActiveIndex() const { return m_active; }

private:
    std::array<QWidget*, kSlots> m_pages{};
    int m_active = -1;
};
