#include "Paths.h"

SplitPathResult SplitPath(wstrview path)
{
    while (path.len > 1 && path.ptr[path.len - 1] == L'\\')
        path = path.substr(0, path.len - 1);
    for (ncsize_t i = path.len; i > 0; --i) {
        if (path.ptr[i - 1] == L'\\')
            return {wstring_nc(path.substr(0, i - 1)), wstring_nc(path.substr(i))};
    }
    return {wstring_nc(path), wstring_nc()};
}

wstring_nc JoinPath(wstrview directory, wstrview name)
{
    wstring_nc joined;
    joined.reserve(directory.len + name.len + 2);
    joined.append(directory);
    if (directory.empty() || name.empty()) {
        joined.append(name);
        return joined;
    }
    bool directoryHasSlash = directory.ptr[directory.len - 1] == L'\\';
    bool nameHasSlash = name.ptr[0] == L'\\';
    if (directoryHasSlash && nameHasSlash)
        name = name.substr(1);
    else if (!directoryHasSlash && !nameHasSlash)
        joined.append(L'\\');
    joined.append(name);
    return joined;
}
