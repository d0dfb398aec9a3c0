#include "NoCrtRandom.h"

#include "ErrorText.h"

#include <windows.h>
#include <wincrypt.h>

namespace {

HCRYPTPROV g_provider;
unsigned g_useCount;
volatile LONG g_lock;

class SpinLock {
public:
    SpinLock()
    {
        while (InterlockedExchange(&g_lock, 1) == 1)
            SwitchToThread();
    }
    ~SpinLock() { InterlockedExchange(&g_lock, 0); }
};

}  // namespace

NoCrtRandom::NoCrtRandom()
{
    if (!Init())
        throw NoCrtRandomException(*this, L"Failed to initialize random generator, call stack:\n"_v);
}

NoCrtRandom::~NoCrtRandom() { Release(); }

bool NoCrtRandom::Init()
{
    SpinLock lock;
    if (g_useCount == 0) {
        if (!CryptAcquireContextA(&g_provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
            AddContext(L"NoCrtRandom::Init(): CryptAcquireContext() failed: "_v + WinErrorDescription(GetLastError()));
            return false;
        }
    }
    ++g_useCount;
    m_initialized = true;
    return true;
}

void NoCrtRandom::Release()
{
    if (!m_initialized)
        return;
    m_initialized = false;
    SpinLock lock;
    if (g_useCount && --g_useCount == 0)
        CryptReleaseContext(g_provider, 0);
}

unsigned NoCrtRandom::UseCount()
{
    SpinLock lock;
    return g_useCount;
}
