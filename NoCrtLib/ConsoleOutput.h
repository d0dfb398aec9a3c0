// Standard output: a console gets wide text, a pipe or a file gets UTF-8 without a byte-order mark.
#pragma once

#include "NoCrtString.h"

// Writes the text and one line feed, at once.
void PrintLine(wstrview text);
// Writes the text as it is, at once.
void PrintText(wstrview text);
