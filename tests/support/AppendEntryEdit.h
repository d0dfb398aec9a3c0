// A guarded edit for tests: appends one entry to a string-list value unless it is there.
#pragma once

#include "Tarnlib/RegSafeModify.h"

#include <stdexcept>

class AppendEntryEdit : public Tarnlib::CRegSafeModify<ncvector<wstring_nc>, 0> {
public:
    AppendEntryEdit(wstrview keyPath, wstrview valueName, wstrview entry, DWORD mutexPatience = 5000)
        : m_keyPath(keyPath), m_valueName(valueName), m_entry(entry), m_mutexPatience(mutexPatience)
    {
    }

    unsigned modifyCalls = 0;
    unsigned checkRetryCalls = 0;
    unsigned mutexWaitCalls = 0;
    bool modifyAnswer = true;

protected:
    wstring_nc KeyPath() const override { return m_keyPath; }
    wstring_nc ValueName() const override { return m_valueName; }

    bool Modify(ncvector<wstring_nc>& content) override
    {
        ++modifyCalls;
        for (ncsize_t i = 0; i < content.size(); ++i)
            if (content[i] == m_entry)
                return false;
        if (modifyAnswer)
            content.push_back(m_entry);
        return modifyAnswer;
    }

    void CheckRetry(unsigned attempts, DWORD elapsed) override
    {
        ++checkRetryCalls;
        if (attempts > 9 || elapsed > 4999)
            throw std::runtime_error("Unable to complete the transaction.");
    }

    DWORD MutexWaitTime(DWORD elapsed) override
    {
        ++mutexWaitCalls;
        if (elapsed >= m_mutexPatience)
            throw std::runtime_error("Unable to aquire exclusive access.");
        return m_mutexPatience - elapsed;
    }

    void ReadValue(HKEY key, wstrview valueName, ncvector<wstring_nc>& content, DWORD& type) override
    {
        Tarnlib::CRegRead<0, Tarnlib::NoView> read(Tarnlib::RegLocation::Key(key), valueName, content);
        if (read.Failed() && read.Error() != ERROR_FILE_NOT_FOUND)
            throw Tarnlib::RegException(read);
        type = REG_MULTI_SZ;
    }

    void WriteValue(HKEY key, wstrview valueName, const ncvector<wstring_nc>& content, DWORD) override
    {
        Tarnlib::CRegWrite<1, Tarnlib::NoView>(Tarnlib::RegLocation::Key(key), valueName, content);
    }

private:
    wstring_nc m_keyPath;
    wstring_nc m_valueName;
    wstring_nc m_entry;
    DWORD m_mutexPatience;
};
