// COM for the calling thread, for the lifetime of the object.
#pragma once

#include "WrapperBase.h"

#include <objbase.h>

namespace Tarnlib {

template <int Throw>
class CComInit : public CComBase<Throw> {
public:
    CComInit()
    {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr))
            this->Fail(L"CoInitializeEx()"_v, hr);
    }
    ~CComInit() override { CoUninitialize(); }
};

}  // namespace Tarnlib
