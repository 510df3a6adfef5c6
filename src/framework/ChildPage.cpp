#include "framework/ChildPage.h"

#include "framework/ListView.h"

int ChildPage::RowCount() const
{
    return ListRowCount(List());
}

std::wstring ChildPage::RowText(int row, int column) const
{
    return ListText(List(), row, column);
}
