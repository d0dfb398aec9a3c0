// Appends entries "<prefix>-<n>" to a string-list value, one guarded edit per entry.
//   GuardedEditWorker <key path> <value name> <prefix> <count>
#include "AppendEntryEdit.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
        return 2;
    int count = _wtoi(argv[4]);
    try {
        for (int i = 0; i < count; ++i) {
            std::wstring entry = std::wstring(argv[3]) + L"-" + std::to_wstring(i);
            AppendEntryEdit edit{wstrview(argv[1]), wstrview(argv[2]), wstrview(entry.c_str())};
            edit.Run();
        }
    } catch (const std::exception& error) {
        std::printf("%s\n", error.what());
        return 1;
    }
    return 0;
}
