// The product's registry key HKLM "SOFTWARE\Korvane", shared by all sites.
#pragma once

#include "NoCrtLib/NoCrtString.h"

inline constexpr wstrview ProductKey = L"SOFTWARE\\Korvane"_v;

// Creates the key, or gives an existing one the access list of HKLM "SOFTWARE". A failure is
// reported; the run goes on only when forced or confirmed, else ends with 106.
// `isAdministrator` is asked only when reporting a failure.
void CreateProductKey(bool (*isAdministrator)());
