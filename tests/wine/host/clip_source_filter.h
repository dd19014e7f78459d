// A DirectShow push source of the test's own: one output pin that offers the
// clip's compressed video type (FourCC subtype, VIDEOINFOHEADER) and, from
// the moment the graph pauses, delivers the clip's pictures from a thread of
// its own, key frames marked as sync points, then end of stream. It stands
// where a splitter would, so that what the decompressor downstream gets is
// exactly the pictures of the file.
#pragma once
// clang-format off
#include <windows.h>
#include <dshow.h>
// clang-format on

#include <atomic>

#include "clip_support.h"

namespace host {

class ClipSourceFilter final : public IBaseFilter {
  public:
    explicit ClipSourceFilter(const CompressedClip& clip);
    ClipSourceFilter(const ClipSourceFilter&) = delete;
    ClipSourceFilter& operator=(const ClipSourceFilter&) = delete;

    IPin* OutputPin() { return &pin_; }
    // Pictures the downstream pin took, and its answer to the last one.
    int Delivered() const { return delivered_; }
    HRESULT LastReceive() const { return lastReceive_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override;
    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

  private:
    class Pin final : public IPin {
      public:
        explicit Pin(ClipSourceFilter& filter) : filter_(filter) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override { return filter_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return filter_.Release(); }
        HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
        HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
            return E_UNEXPECTED;
        }
        HRESULT STDMETHODCALLTYPE Disconnect() override;
        HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
        HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
        HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
        HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
        HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
        HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
        HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
        HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
        HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
        HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
        HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
            return S_OK;
        }

      private:
        ClipSourceFilter& filter_;
    };

    ~ClipSourceFilter();
    bool Accepts(const AM_MEDIA_TYPE& type) const;
    void ReleaseConnection();
    static DWORD WINAPI StreamThread(void* filter);
    void Stream();

    std::atomic<LONG> references_{1};
    const CompressedClip& clip_;
    VIDEOINFOHEADER videoInfo_{};
    AM_MEDIA_TYPE type_{};
    Pin pin_{*this};
    IFilterGraph* graph_ = nullptr;  // not held: the graph holds the filter
    FILTER_STATE state_ = State_Stopped;
    IPin* peer_ = nullptr;
    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
    HANDLE thread_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::atomic<int> delivered_{0};
    std::atomic<HRESULT> lastReceive_{S_OK};
};

// A copy of a media type whose format block comes from CoTaskMemAlloc, as
// pins hand them out; FreeMediaType releases one.
bool CopyMediaType(AM_MEDIA_TYPE& to, const AM_MEDIA_TYPE& from);
void FreeMediaType(AM_MEDIA_TYPE& type);

}  // namespace host
