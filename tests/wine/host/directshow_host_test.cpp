// DirectShow playback through Wine's own AVI decompressor (quartz), which
// wraps the Video Compression Manager: the test's source filter feeds the
// clip's pictures into it, a sample grabber takes every decoded frame and a
// null renderer ends the graph. Run once with the format the decompressor
// and the grabber agree on, and once with the grabber forced to YV12. Every
// frame is compared byte for byte with kmqx decode. Run with the clip folder
// as argument.
// clang-format off
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
// clang-format on

#include "clip_source_filter.h"

using namespace host;

// In the import library, missing from the headers.
extern "C" const CLSID CLSID_SampleGrabber;
extern "C" const CLSID CLSID_NullRenderer;

namespace {

// Critical section held for a scope.
class Lock {
  public:
    explicit Lock(CRITICAL_SECTION& section) : section_(section) {
        EnterCriticalSection(&section_);
    }
    ~Lock() { LeaveCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    CRITICAL_SECTION& section_;
};

// Keeps a copy of every buffer the grabber passes on.
class FrameCollector final : public ISampleGrabberCB {
  public:
    FrameCollector() { InitializeCriticalSection(&section_); }
    ~FrameCollector() { DeleteCriticalSection(&section_); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of the test, longer than the graph.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* buffer, long length) override {
        Lock lock(section_);
        frames_.emplace_back(buffer, buffer + (length > 0 ? length : 0));
        return S_OK;
    }
    std::vector<Bytes> Frames() {
        Lock lock(section_);
        return frames_;
    }

  private:
    CRITICAL_SECTION section_;
    std::vector<Bytes> frames_;
};

template <typename Interface>
void ReleaseAll(std::initializer_list<Interface*> objects) {
    for (Interface* object : objects)
        if (object) object->Release();
}

IPin* FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    IEnumPins* pins = nullptr;
    if (!filter || FAILED(filter->EnumPins(&pins))) return nullptr;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) break;
        pin->Release();
        pin = nullptr;
    }
    pins->Release();
    return pin;
}

IBaseFilter* MakeFilter(const CLSID& id, const char* name) {
    IBaseFilter* filter = nullptr;
    if (FAILED(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&filter)))) {
        std::printf("FAILED: no %s filter\n", name);
        ++Failures();
    }
    return filter;
}

// The media type that forces the grabber, and the decompressor, to YV12.
AM_MEDIA_TYPE Yv12Type(const ReferenceClip& clip, VIDEOINFOHEADER& info) {
    info = VIDEOINFOHEADER{};
    info.bmiHeader = BitmapFormat(clip.width, clip.height, 12, kYv12);
    info.bmiHeader.biSizeImage = DWORD(FrameBytes(info.bmiHeader));
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_YV12;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = info.bmiHeader.biSizeImage;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof info;
    type.pbFormat = reinterpret_cast<BYTE*>(&info);
    return type;
}

// Connects source, decompressor, grabber and renderer; the grabber's media
// type decides the decompressor's output. Returns the format the grabber
// gets, or false.
bool Connect(IGraphBuilder* graph, IPin* sourceOut, IBaseFilter* decompressor,
             IBaseFilter* grabberFilter, IBaseFilter* renderer, AM_MEDIA_TYPE* forced,
             const std::string& what, BITMAPINFOHEADER& format) {
    IPin* decompressorIn = FirstPin(decompressor, PINDIR_INPUT);
    IPin* decompressorOut = FirstPin(decompressor, PINDIR_OUTPUT);
    IPin* grabberIn = FirstPin(grabberFilter, PINDIR_INPUT);
    IPin* grabberOut = FirstPin(grabberFilter, PINDIR_OUTPUT);
    IPin* rendererIn = FirstPin(renderer, PINDIR_INPUT);
    HRESULT result = E_NOINTERFACE;
    const char* step = "finding the pins";
    AM_MEDIA_TYPE delivered{};
    if (decompressorIn && decompressorOut && grabberIn && grabberOut && rendererIn) {
        step = "source to decompressor";
        result = graph->ConnectDirect(sourceOut, decompressorIn, nullptr);
    }
    if (SUCCEEDED(result)) {
        step = "decompressor to grabber";
        result = graph->ConnectDirect(decompressorOut, grabberIn, forced);
    }
    if (SUCCEEDED(result)) {
        step = "the grabber's media type";
        result = grabberIn->ConnectionMediaType(&delivered);
    }
    if (SUCCEEDED(result)) {
        step = "grabber to renderer";
        result = graph->ConnectDirect(grabberOut, rendererIn, &delivered);
        if (delivered.formattype == FORMAT_VideoInfo &&
            delivered.cbFormat >= sizeof(VIDEOINFOHEADER))
            format = reinterpret_cast<VIDEOINFOHEADER*>(delivered.pbFormat)->bmiHeader;
        FreeMediaType(delivered);
    }
    if (FAILED(result)) {
        std::printf("FAILED %s: %s answers %#lx\n", what.c_str(), step, result);
        ++Failures();
    }
    ReleaseAll<IPin>({decompressorIn, decompressorOut, grabberIn, grabberOut, rendererIn});
    return SUCCEEDED(result);
}

// Runs the graph to its end; returns the frames the grabber saw.
std::vector<Bytes> RunToEnd(IGraphBuilder* graph, FrameCollector& collector,
                            const std::string& what) {
    IMediaFilter* timing = nullptr;
    IMediaControl* control = nullptr;
    IMediaEvent* events = nullptr;
    graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&timing));
    graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
    CHECK(timing && control && events);
    if (timing && control && events) {
        CHECK_EQ(timing->SetSyncSource(nullptr), S_OK);  // as fast as frames decode
        const HRESULT result = control->Run();
        if (FAILED(result)) std::printf("FAILED %s: Run answers %#lx\n", what.c_str(), result);
        CHECK(SUCCEEDED(result));
        LONG code = 0;
        if (SUCCEEDED(result)) {
            CHECK_EQ(events->WaitForCompletion(20000, &code), S_OK);
            CHECK_EQ(code, EC_COMPLETE);
        }
        control->Stop();
    }
    ReleaseAll<IUnknown>({timing, control, events});
    return collector.Frames();
}

void Play(const CompressedClip& compressed, const ReferenceClip& clip, bool forceYv12) {
    const std::string what = forceYv12 ? "DirectShow forced to YV12" : "DirectShow negotiated";
    IGraphBuilder* graph = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph)))) {
        std::printf("FAILED %s: no filter graph\n", what.c_str());
        ++Failures();
        return;
    }
    auto* source = new ClipSourceFilter(compressed);
    IBaseFilter* decompressor = MakeFilter(CLSID_AVIDec, "AVI decompressor");
    IBaseFilter* grabberFilter = MakeFilter(CLSID_SampleGrabber, "sample grabber");
    IBaseFilter* renderer = MakeFilter(CLSID_NullRenderer, "null renderer");
    ISampleGrabber* grabber = nullptr;
    if (grabberFilter)
        grabberFilter->QueryInterface(IID_ISampleGrabber, reinterpret_cast<void**>(&grabber));
    FrameCollector collector;
    if (decompressor && grabber && renderer) {
        CHECK_EQ(graph->AddFilter(source, L"KMQX clip"), S_OK);
        CHECK_EQ(graph->AddFilter(decompressor, L"AVI Decompressor"), S_OK);
        CHECK_EQ(graph->AddFilter(grabberFilter, L"Sample Grabber"), S_OK);
        CHECK_EQ(graph->AddFilter(renderer, L"Null Renderer"), S_OK);
        VIDEOINFOHEADER yv12Info;
        AM_MEDIA_TYPE yv12 = Yv12Type(clip, yv12Info);
        AM_MEDIA_TYPE anyVideo{};
        anyVideo.majortype = MEDIATYPE_Video;
        anyVideo.formattype = FORMAT_VideoInfo;
        CHECK_EQ(grabber->SetMediaType(forceYv12 ? &yv12 : &anyVideo), S_OK);
        CHECK_EQ(grabber->SetBufferSamples(FALSE), S_OK);
        CHECK_EQ(grabber->SetCallback(&collector, 1), S_OK);
        BITMAPINFOHEADER format{};
        if (Connect(graph, source->OutputPin(), decompressor, grabberFilter, renderer,
                    forceYv12 ? &yv12 : nullptr, what, format)) {
            std::printf("%s: the grabber gets %s\n", what.c_str(), FormatName(format).c_str());
            if (forceYv12) CHECK_EQ(format.biCompression, kYv12);
            const std::vector<Bytes> frames = RunToEnd(graph, collector, what);
            if (source->Delivered() != clip.frames)
                std::printf("FAILED %s: %d pictures delivered, the last answered %#lx\n",
                            what.c_str(), source->Delivered(), source->LastReceive());
            CHECK_EQ(frames.size(), size_t(clip.frames));
            FrameCheck check(what, clip);
            for (size_t f = 0; f < frames.size(); ++f)
                check(int(f), format, frames[f].data(), frames[f].size());
        }
    }
    ReleaseAll<IUnknown>({graph, source, decompressor, grabberFilter, grabber, renderer});
}

}  // namespace

int main(int argc, char** argv) {
    ReferenceClip clip;
    CompressedClip compressed;
    std::string folder;
    if (!StartClipProgram(argc, argv, "directshow_host_test CLIP_FOLDER", clip, folder,
                          &compressed))
        return 2;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Play(compressed, clip, false);
    Play(compressed, clip, true);
    CoUninitialize();
    return Finish("directshow");
}
