#pragma once
// What the main frame asks of each page: its commands and their enable state.
class CListFilter;
class QWidget;

class CPageView {
public:
    virtual ~CPageView() = default;
    // True when the page handled the command.
    virtual bool OnCommand(int id) = 0;
    // True when the page knows the command; `enabled` and `checked` then hold its state.
    virtual bool CommandState(int id, bool& enabled, bool& checked) = 0;
    // The page's list filter, or none.
    virtual CListFilter* Filter() { return nullptr; }
    // Called after the filter changed (stores it where the page keeps it).
    virtual void StoreFilter() {}
};
