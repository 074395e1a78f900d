// The property-sheet base of the settings sheet.
#pragma once

class CPropertySheet {
public:
    CPropertySheet() {}
    virtual ~CPropertySheet() {}
    CPropertySheet(const CPropertySheet&) = delete;
    CPropertySheet& operator=(const CPropertySheet&) = delete;
    virtual void Reserved() {}
};
