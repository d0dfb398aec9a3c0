#include "UserMessages.h"

int ShowMessageBox(wstrview text, wstrview caption, UINT type)
{
    wstring_nc terminatedText(text);
    wstring_nc terminatedCaption(caption);
    return MessageBoxW(nullptr, terminatedText.c_str(), terminatedCaption.c_str(), type);
}
