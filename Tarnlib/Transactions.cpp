#include "Transactions.h"

#include "DllLoader.h"
#include "SystemInfo.h"

namespace Tarnlib {

namespace {

#ifdef KV_TEST_SEAMS
const TransactionFunctions* g_replacement;
#endif

TransactionFunctions ResolveSystemFunctions()
{
    TransactionFunctions functions = {};
    const DllLoader& ktm = DelayLoadKtmW32Dll::Instance();
    const DllLoader& advapi = DelayLoadAdvapi32Dll::Instance();
    functions.createTransaction = reinterpret_cast<decltype(functions.createTransaction)>(
        reinterpret_cast<void*>(ktm.FindProcAddress("CreateTransaction")));
    functions.commitTransaction = reinterpret_cast<decltype(functions.commitTransaction)>(
        reinterpret_cast<void*>(ktm.FindProcAddress("CommitTransaction")));
    functions.regOpenKeyTransacted = reinterpret_cast<decltype(functions.regOpenKeyTransacted)>(
        reinterpret_cast<void*>(advapi.FindProcAddress("RegOpenKeyTransactedW")));
    return functions;
}

}  // namespace

const TransactionFunctions* AvailableTransactionFunctions()
{
#ifdef KV_TEST_SEAMS
    if (g_replacement)
        return g_replacement;
#endif
    if (!IsAtLeast(GetWindowsVersion(), WindowsVista))
        return nullptr;
    static const TransactionFunctions system = ResolveSystemFunctions();
    bool complete = system.createTransaction && system.commitTransaction && system.regOpenKeyTransacted;
    return complete ? &system : nullptr;
}

#ifdef KV_TEST_SEAMS
void ReplaceTransactionFunctions(const TransactionFunctions* replacement) { g_replacement = replacement; }
#endif

}  // namespace Tarnlib
