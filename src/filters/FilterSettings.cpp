#include "filters/FilterSettings.h"

#include "app/Settings.h"

namespace {

void PutFilterSettings(const CListFilter& filter, EFilterList list) {
    std::int32_t kind = 0;
    std::int32_t datum = 0;
    filter.GetFilter(kind, datum);
    CSettings& s = Settings();
    if (list == EFilterList::Sent) {
        s.SentFilterType = kind;
        s.SentFilterData = datum;
    } else {
        s.RcvdFilterType = kind;
        s.RcvdFilterData = datum;
    }
}

} // namespace

void LoadFilterSettings(CListFilter& filter, EFilterList list) {
    const CSettings& s = Settings();
    if (list == EFilterList::Sent) {
        filter.SetFilter(s.SentFilterType, s.SentFilterData);
    } else {
        filter.SetFilter(s.RcvdFilterType, s.RcvdFilterData);
    }
}

int StoreFilterSettings(const CListFilter& filter, EFilterList list) {
    PutFilterSettings(filter, list);
    return SaveSettings();
}

bool CSettingsListFilter::Store(IPrompt& prompt) {
    PutFilterSettings(*this, m_list);
    return SaveSettings(prompt);
}
