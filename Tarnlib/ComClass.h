// COM interface wrappers: an object created with CoCreateInstance, or an interface queried
// from another wrapper; each releases its interface when destroyed.
#pragma once

#include "FaultSeam.h"
#include "WrapperBase.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

namespace Tarnlib {

template <class Interface>
struct InterfaceTraits;

template <>
struct InterfaceTraits<IShellLinkW> {
    static constexpr wstrview Name = L"IShellLinkW"_v;
    static const IID& Id() { return IID_IShellLinkW; }
};

template <>
struct InterfaceTraits<IPersistFile> {
    static constexpr wstrview Name = L"IPersistFile"_v;
    static const IID& Id() { return IID_IPersistFile; }
};

template <class Interface, int Throw>
class CComCls : public CComBase<Throw> {
public:
    // Creates an in-process object of `classId`.
    explicit CComCls(const CLSID& classId)
    {
        HRESULT hr = KV_SYSCALL_HRESULT(
            "CoCreateInstance", CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, InterfaceTraits<Interface>::Id(),
                                                 reinterpret_cast<void**>(&m_interface)));
        if (FAILED(hr))
            this->Fail((L"CoCreateInstance("_v + InterfaceTraits<Interface>::Name + L")"_v).str(), hr);
    }

    // Queries this interface from another wrapper's.
    template <class Source, int SourceThrow>
    explicit CComCls(const CComCls<Source, SourceThrow>& source)
    {
        HRESULT hr = E_POINTER;
        if (source.Get())
            hr = KV_SYSCALL_HRESULT("QueryInterface",
                                    source.Get()->QueryInterface(InterfaceTraits<Interface>::Id(),
                                                                 reinterpret_cast<void**>(&m_interface)));
        if (FAILED(hr))
            this->Fail((InterfaceTraits<Source>::Name + L"::QueryInterface("_v + InterfaceTraits<Interface>::Name +
                        L")"_v)
                           .str(),
                       hr);
    }

    CComCls(const CComCls&) = delete;
    CComCls& operator=(const CComCls&) = delete;
    ~CComCls() override
    {
        if (m_interface)
            m_interface->Release();
    }

    Interface* Get() const { return m_interface; }
    Interface* operator->() const { return m_interface; }

private:
    Interface* m_interface = nullptr;
};

template <class Interface>
using CComClsT = CComCls<Interface, 1>;
template <class Interface>
using CComClsN = CComCls<Interface, 0>;

}  // namespace Tarnlib
