#pragma once
// IUnknown for the COM classes written here: a class derives from ComObject<IOne, ITwo, ...>,
// implements the interfaces' own methods, starts with one reference and is deleted when the
// last one goes. QueryInterface answers IUnknown with the first interface. An interface that
// extends others is listed as WithBases<IDerived, IBase, ...>, so that the bases' IIDs are
// answered too.

#include <windows.h>
#include <unknwn.h>

#include <atomic>

template <typename Interface, typename... Bases>
struct WithBases : Interface {};

namespace com_object {

template <typename Entry>
struct Listed {
    using Interface = Entry;
    static bool Answers(REFIID iid) { return iid == __uuidof(Entry); }
};

template <typename Entry, typename... Bases>
struct Listed<WithBases<Entry, Bases...>> {
    using Interface = Entry;
    static bool Answers(REFIID iid) { return iid == __uuidof(Entry) || ((iid == __uuidof(Bases)) || ...); }
};

}  // namespace com_object

template <typename First, typename... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == __uuidof(IUnknown)) {
            *object = static_cast<IUnknown*>(As<First>());
        } else if (!(Take<First>(iid, object) || ... || Take<Rest>(iid, object))) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    template <typename Entry>
    typename com_object::Listed<Entry>::Interface* As() {
        return static_cast<typename com_object::Listed<Entry>::Interface*>(this);
    }

    template <typename Entry>
    bool Take(REFIID iid, void** object) {
        if (!com_object::Listed<Entry>::Answers(iid)) return false;
        *object = As<Entry>();
        return true;
    }

    std::atomic<ULONG> references_{1};
};
