#include "gui/shell/FakeView.h"

CFakeView::CFakeView(QWidget* parent) : QStackedWidget(parent) {
    setObjectName(QStringLiteral("fakeView"));
}

void CFakeView::SetPage(int index, QWidget* page) {
    if (index < 0 || index >= kSlots) {
        return;
    }
    m_pages[static_cast<std::size_t>(index)] = page;
    addWidget(page);
}

bool CFakeView::SelectPage(int index) {
    if (index < 0 || index >= kSlots || m_pages[static_cast<std::size_t>(index)] == nullptr) {
        return false;
    }
    setCurrentWidget(m_pages[static_cast<std::size_t>(index)]);
    m_active = index;
    return true;
}
