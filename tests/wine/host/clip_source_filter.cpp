#include "clip_source_filter.h"

#include <algorithm>
#include <cwchar>

namespace host {
namespace {

constexpr wchar_t kPinName[] = L"Out";
constexpr REFERENCE_TIME kFrameTime = 400000;  // 25 frames a second, in 100 ns

// The media subtype of a FourCC: the FourCC followed by the fixed tail
// every such subtype shares.
GUID FourCcSubtype(DWORD fourCc) {
    GUID subtype = MEDIASUBTYPE_YV12;
    subtype.Data1 = fourCc;
    return subtype;
}

HRESULT CopyString(const wchar_t* text, LPWSTR* out) {
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*out) return E_OUTOFMEMORY;
    std::memcpy(*out, text, bytes);
    return S_OK;
}

// Enumerates the one pin or the one media type.
template <typename Enum, typename Item>
class SingleEnum final : public Enum {
  public:
    using Make = HRESULT (*)(void* owner, Item* item);
    SingleEnum(IUnknown* owner, void* context, Make make, ULONG position = 0)
        : owner_(owner), context_(context), make_(make), position_(position) {
        owner_->AddRef();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != __uuidof(Enum)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (!left) {
            owner_->Release();
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) override {
        ULONG got = 0;
        if (count > 0 && position_ == 0) {
            const HRESULT result = make_(context_, &items[0]);
            if (FAILED(result)) return result;
            got = 1;
            position_ = 1;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        position_ = std::min<ULONG>(1, position_ + count);
        return position_ == 1 && count > 1 ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** copy) override {
        *copy = new SingleEnum(owner_, context_, make_, position_);
        return S_OK;
    }

  private:
    std::atomic<ULONG> references_{1};
    IUnknown* owner_;
    void* context_;
    Make make_;
    ULONG position_;
};

}  // namespace

bool CopyMediaType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from) {
    to = from;
    to.pUnk = nullptr;
    to.pbFormat = nullptr;
    if (from.cbFormat) {
        to.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
        if (!to.pbFormat) return false;
        std::memcpy(to.pbFormat, from.pbFormat, from.cbFormat);
    }
    return true;
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
    CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk) type.pUnk->Release();
    type.pUnk = nullptr;
}

ClipSourceFilter::ClipSourceFilter(const CompressedClip& clip) : clip_(clip) {
    videoInfo_.AvgTimePerFrame = kFrameTime;
    videoInfo_.bmiHeader = clip.format;
    type_.majortype = MEDIATYPE_Video;
    type_.subtype = FourCcSubtype(clip.format.biCompression);
    type_.bFixedSizeSamples = FALSE;
    type_.bTemporalCompression = TRUE;
    type_.formattype = FORMAT_VideoInfo;
    type_.cbFormat = sizeof videoInfo_;
    type_.pbFormat = reinterpret_cast<BYTE*>(&videoInfo_);
}

ClipSourceFilter::~ClipSourceFilter() {
    Stop();
    ReleaseConnection();
}

HRESULT ClipSourceFilter::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
        iid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ClipSourceFilter::AddRef() {
    return ULONG(++references_);
}

ULONG ClipSourceFilter::Release() {
    const LONG left = --references_;
    if (!left) delete this;
    return ULONG(left);
}

HRESULT ClipSourceFilter::GetClassID(CLSID* id) {
    *id = GUID_NULL;
    return S_OK;
}

HRESULT ClipSourceFilter::Stop() {
    if (state_ == State_Stopped) return S_OK;
    stopping_ = true;
    if (allocator_) allocator_->Decommit();  // wakes a thread waiting for a buffer
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    state_ = State_Stopped;
    return S_OK;
}

HRESULT ClipSourceFilter::Pause() {
    if (state_ == State_Stopped && input_) {
        const HRESULT committed = allocator_->Commit();
        if (FAILED(committed)) return committed;
        stopping_ = false;
        delivered_ = 0;
        thread_ = CreateThread(nullptr, 0, StreamThread, this, 0, nullptr);
        if (!thread_) return E_FAIL;
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT ClipSourceFilter::Run(REFERENCE_TIME) {
    if (state_ == State_Stopped) {
        const HRESULT paused = Pause();
        if (FAILED(paused)) return paused;
    }
    state_ = State_Running;
    return S_OK;
}

HRESULT ClipSourceFilter::GetState(DWORD, FILTER_STATE* state) {
    *state = state_;
    return S_OK;
}

HRESULT ClipSourceFilter::SetSyncSource(IReferenceClock*) {
    return S_OK;  // pictures go out as fast as downstream takes them
}

HRESULT ClipSourceFilter::GetSyncSource(IReferenceClock** clock) {
    *clock = nullptr;
    return S_OK;
}

HRESULT ClipSourceFilter::EnumPins(IEnumPins** pins) {
    const auto make = [](void* filter, IPin** pin) -> HRESULT {
        *pin = static_cast<ClipSourceFilter*>(filter)->OutputPin();
        (*pin)->AddRef();
        return S_OK;
    };
    *pins = new SingleEnum<IEnumPins, IPin*>(this, this, make);
    return S_OK;
}

HRESULT ClipSourceFilter::FindPin(LPCWSTR id, IPin** pin) {
    *pin = nullptr;
    if (std::wcscmp(id, kPinName) != 0) return VFW_E_NOT_FOUND;
    *pin = &pin_;
    pin_.AddRef();
    return S_OK;
}

HRESULT ClipSourceFilter::QueryFilterInfo(FILTER_INFO* info) {
    std::wcscpy(info->achName, L"KMQX clip");
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

HRESULT ClipSourceFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR) {
    graph_ = graph;
    return S_OK;
}

HRESULT ClipSourceFilter::QueryVendorInfo(LPWSTR*) {
    return E_NOTIMPL;
}

bool ClipSourceFilter::Accepts(const AM_MEDIA_TYPE& type) const {
    const auto matches = [](const GUID& asked, const GUID& offered) {
        return asked == GUID_NULL || asked == offered;
    };
    return matches(type.majortype, type_.majortype) && matches(type.subtype, type_.subtype) &&
           matches(type.formattype, type_.formattype);
}

void ClipSourceFilter::ReleaseConnection() {
    if (allocator_) allocator_->Release();
    if (input_) input_->Release();
    if (peer_) peer_->Release();
    allocator_ = nullptr;
    input_ = nullptr;
    peer_ = nullptr;
}

DWORD WINAPI ClipSourceFilter::StreamThread(void* filter) {
    static_cast<ClipSourceFilter*>(filter)->Stream();
    return 0;
}

void ClipSourceFilter::Stream() {
    for (size_t f = 0; f < clip_.pictures.size() && !stopping_; ++f) {
        const Bytes& picture = clip_.pictures[f];
        IMediaSample* sample = nullptr;
        if (FAILED(allocator_->GetBuffer(&sample, nullptr, nullptr, 0))) return;
        BYTE* data = nullptr;
        HRESULT result = sample->GetPointer(&data);
        if (SUCCEEDED(result) && size_t(sample->GetSize()) >= picture.size()) {
            std::memcpy(data, picture.data(), picture.size());
            sample->SetActualDataLength(LONG(picture.size()));
            sample->SetSyncPoint(clip_.keys[f] ? TRUE : FALSE);
            sample->SetDiscontinuity(f == 0 ? TRUE : FALSE);
            REFERENCE_TIME start = REFERENCE_TIME(f) * kFrameTime, end = start + kFrameTime;
            sample->SetTime(&start, &end);
            result = input_->Receive(sample);
        } else if (SUCCEEDED(result)) {
            result = E_OUTOFMEMORY;
        }
        sample->Release();
        lastReceive_ = result;
        if (result != S_OK) return;
        ++delivered_;
    }
    if (!stopping_) peer_->EndOfStream();
}

HRESULT ClipSourceFilter::Pin::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *out = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT ClipSourceFilter::Pin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (!receiver) return E_POINTER;
    if (filter_.peer_) return VFW_E_ALREADY_CONNECTED;
    if (type && !filter_.Accepts(*type)) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT result = receiver->ReceiveConnection(this, &filter_.type_);
    if (FAILED(result)) return result;
    filter_.peer_ = receiver;
    receiver->AddRef();
    result = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&filter_.input_));
    if (SUCCEEDED(result) && FAILED(filter_.input_->GetAllocator(&filter_.allocator_)))
        result = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IMemAllocator, reinterpret_cast<void**>(&filter_.allocator_));
    if (SUCCEEDED(result)) {
        ALLOCATOR_PROPERTIES wanted{}, actual{};
        filter_.input_->GetAllocatorRequirements(&wanted);
        size_t largest = 0;
        for (const Bytes& picture : filter_.clip_.pictures)
            largest = std::max(largest, picture.size());
        wanted.cBuffers = std::max<LONG>(wanted.cBuffers, 1);
        wanted.cbBuffer = std::max<LONG>(wanted.cbBuffer, LONG(largest));
        wanted.cbAlign = std::max<LONG>(wanted.cbAlign, 1);
        result = filter_.allocator_->SetProperties(&wanted, &actual);
        if (SUCCEEDED(result)) result = filter_.input_->NotifyAllocator(filter_.allocator_, FALSE);
    }
    if (FAILED(result)) {
        receiver->Disconnect();
        filter_.ReleaseConnection();
    }
    return result;
}

HRESULT ClipSourceFilter::Pin::Disconnect() {
    if (!filter_.peer_) return S_FALSE;
    filter_.ReleaseConnection();
    return S_OK;
}

HRESULT ClipSourceFilter::Pin::ConnectedTo(IPin** pin) {
    *pin = filter_.peer_;
    if (!*pin) return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
}

HRESULT ClipSourceFilter::Pin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!filter_.peer_) {
        std::memset(type, 0, sizeof *type);
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(*type, filter_.type_) ? S_OK : E_OUTOFMEMORY;
}

HRESULT ClipSourceFilter::Pin::QueryPinInfo(PIN_INFO* info) {
    info->pFilter = &filter_;
    filter_.AddRef();
    info->dir = PINDIR_OUTPUT;
    std::wcscpy(info->achName, kPinName);
    return S_OK;
}

HRESULT ClipSourceFilter::Pin::QueryDirection(PIN_DIRECTION* direction) {
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT ClipSourceFilter::Pin::QueryId(LPWSTR* id) {
    return CopyString(kPinName, id);
}

HRESULT ClipSourceFilter::Pin::QueryAccept(const AM_MEDIA_TYPE* type) {
    return type && filter_.Accepts(*type) ? S_OK : S_FALSE;
}

HRESULT ClipSourceFilter::Pin::EnumMediaTypes(IEnumMediaTypes** types) {
    const auto make = [](void* filter, AM_MEDIA_TYPE** type) -> HRESULT {
        *type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (!*type) return E_OUTOFMEMORY;
        if (CopyMediaType(**type, static_cast<ClipSourceFilter*>(filter)->type_)) return S_OK;
        CoTaskMemFree(*type);
        return E_OUTOFMEMORY;
    };
    *types = new SingleEnum<IEnumMediaTypes, AM_MEDIA_TYPE*>(&filter_, &filter_, make);
    return S_OK;
}

}  // namespace host
