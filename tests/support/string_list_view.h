// CStringList to and from std::vector, so tests compare whole lists in one
// expectation and build input lists from brace lists.
#pragma once

#include "framework/core/string_list.h"

#include <string>
#include <vector>

inline std::vector<std::string> ToVector(const CStringList& list)
{
    std::vector<std::string> out;
    for (POSITION pos = list.GetHeadPosition(); pos;) out.push_back(list.GetNext(pos).str());
    return out;
}

inline void FillList(CStringList& list, const std::vector<std::string>& items)
{
    list.RemoveAll();
    for (const std::string& item : items) list.AddTail(CString(item));
}
