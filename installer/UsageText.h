#pragma once

#include "NoCrtLib/NoCrtString.h"

// The usage text: every line ends with a line feed.
const wstring_nc& UsageText();
