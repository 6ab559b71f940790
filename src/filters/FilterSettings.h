#pragma once
// The filters of the fax lists as the settings keep them.
#include "filters/ListFilter.h"

class IPrompt;

// The two settings pairs: SentFilterType/SentFilterData and RcvdFilterType/RcvdFilterData.
enum class EFilterList { Sent, Received };

// Sets `filter` from its pair of settings in the settings record.
void LoadFilterSettings(CListFilter& filter, EFilterList list);
// Writes the filter into its pair of settings and saves all settings; 0 or the save's error.
int StoreFilterSettings(const CListFilter& filter, EFilterList list);

// A filter that lives in one settings pair: what the sent and received views derive from.
class CSettingsListFilter : public CListFilter {
public:
    explicit CSettingsListFilter(EFilterList list) : m_list(list) {}
    void Load() { LoadFilterSettings(*this, m_list); }
    // Stores the filter and saves the settings; a save that fails is reported: false.
    bool Store(IPrompt& prompt);

private:
    EFilterList m_list;
};
