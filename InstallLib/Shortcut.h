// Shell shortcuts (.lnk files) made through the shell's link object.
#pragma once

#include "OperationFramework.h"

class CreateShortcut : public OperationWithRollback {
public:
    // Empty texts are items not given; the icon defaults to the target.
    CreateShortcut(wstrview linkPath, wstrview target, wstrview arguments, wstrview workingDirectory,
                   wstrview description, wstrview iconPath);
    ~CreateShortcut();

private:
    // True when the link was saved; false when the save failed.
    bool WriteLink(wstrview target, wstrview arguments, wstrview workingDirectory, wstrview description,
                   wstrview iconPath);
    void ReportFailure(wstrview description);

    wstring_nc m_linkPath;
    bool m_applied = false;
};
