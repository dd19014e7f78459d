// The settings dialog and the about box as a Windows host meets them: the
// template carried by KMQX.dll, the dialog opened through ICConfigure and
// DRV_CONFIGURE, its controls read and the dialog closed from another thread
// (OK, Cancel, end of session), and the about box through ICAbout. Needs a
// display (Xvfb). With KMQX_SCREENSHOT=<file.bmp> it also saves a picture
// of the dialog.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host_support.h"

using namespace host;

namespace {

constexpr char kSettingsCaption[] = "Settings for Compression";
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEditStyle = kChild | ES_RIGHT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kLabelStyle = kChild | SS_LEFT | WS_GROUP;

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
    short x, y, width, height;
    DWORD style;
};

const ExpectedControl kControls[30] = {
    {1012, "Button", "Inter 0 (Referenz, Testing)", 157, 17, 99, 10,
     kChild | BS_AUTORADIOBUTTON | WS_GROUP},
    {1015, "Button", "Inter 1 (don't try this)", 157, 29, 93, 10, kChild | BS_AUTORADIOBUTTON},
    {1016, "Button", "Inter 2 (The real codec)", 157, 41, 93, 10, kChild | BS_AUTORADIOBUTTON},
    {1011, "Button", "Intra 0 (VIC-like)", 157, 53, 93, 10, kChild | BS_AUTORADIOBUTTON},
    {1013, "Edit", "", 208, 88, 40, 14, kEditStyle},
    {1014, "Edit", "", 208, 108, 40, 14, kEditStyle},
    {1000, "Edit", "", 95, 15, 40, 14, kEditStyle},
    {1003, "Edit", "", 95, 31, 40, 14, kEditStyle},
    {1004, "Edit", "", 95, 47, 40, 14, kEditStyle},
    {1005, "Edit", "", 95, 63, 40, 14, kEditStyle},
    {1009, "Edit", "", 95, 79, 40, 14, kEditStyle},
    {1006, "Edit", "", 95, 95, 40, 14, kEditStyle},
    {1007, "Edit", "", 95, 111, 40, 14, kEditStyle},
    {IDOK, "Button", "OK", 155, 192, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, "Button", "Cancel", 212, 192, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP},
    {-1, "Button", "Codec Version", 149, 5, 114, 65, kChild | BS_GROUPBOX},
    {-1, "Static", "A (Motion Detection)", 15, 18, 71, 8, kLabelStyle},
    {-1, "Static", "B (Motion Estimation)", 15, 34, 74, 8, kLabelStyle},
    {-1, "Static", "C (Halfpel Prediction)", 15, 50, 72, 8, kLabelStyle},
    {-1, "Static", "D (Macroblock-DCT)", 15, 66, 72, 8, kLabelStyle},
    {-1, "Static", "E (Block-DCT (Lum))", 15, 82, 72, 8, kLabelStyle},
    {-1, "Static", "F (DCT-Estimation)", 15, 98, 66, 8, kLabelStyle},
    {-1, "Static", "G (?)", 15, 114, 70, 8, kLabelStyle},
    {-1, "Button", "Some Parameters", 6, 5, 136, 127, kChild | BS_GROUPBOX},
    {-1, "Button", "Quantizer", 149, 76, 114, 56, kChild | BS_GROUPBOX},
    {-1, "Static", "Normal frames", 156, 90, 48, 8, kLabelStyle},
    {-1, "Static", "Key frames", 156, 109, 43, 8, kLabelStyle},
    {-1, "Static", "H263-Codec Halvern 17.12.97", 16, 196, 121, 8, kChild | SS_CENTER | WS_GROUP},
    {-1, "Static",
     "Examples:\tslowest, best quality : Inter 2, A=0..50, B=C=E=0\n\t\tfaster : Inter 2, "
     "A=50..100 B=1000 C=1000 E=150..250\n\t\tfastest but low compression: Intra 0, "
     "A=100...200...",
     16, 137, 242, 26, kLabelStyle},
    {-1, "Static", "Quantizer:\tbest quality but low compression: 4\n\t\tpoorest quality: 10 to 15",
     16, 163, 191, 18, kLabelStyle},
};

// Reads the extended dialog template field by field; every read is bounded
// by the resource's size.
class TemplateReader {
  public:
    TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return Read<short>(); }
    BYTE Byte() { return Read<BYTE>(); }
    void AlignDword() { at_ = (at_ + 3) & ~size_t{3}; }
    void Skip(size_t count) {
        if (at_ + count > size_) ok_ = false;
        at_ += count;
    }
    // A string or an ordinal (0xFFFF followed by the number, given as "#n").
    std::string StringOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; ok_ && c != 0; c = Word()) text += c < 0x80 ? char(c) : '?';
        return text;
    }

  private:
    template <typename T>
    T Read() {
        T value{};
        if (at_ + sizeof(T) > size_) {
            ok_ = false;
            return value;
        }
        std::memcpy(&value, data_ + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }
    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

std::string ClassOfOrdinal(const std::string& name) {
    if (name == "#128") return "Button";
    if (name == "#129") return "Edit";
    if (name == "#130") return "Static";
    return name;
}

bool SameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && _stricmp(a.c_str(), b.c_str()) == 0;
}

// The template as stored in the DLL: language, style, caption, font, size
// and every control's id, class, text, position and style.
void CheckTemplate() {
    HMODULE module = LoadLibraryExA("KMQX.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    CHECK(module != nullptr);
    if (!module) return;
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                  MAKEINTRESOURCEA(101), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    CHECK(found != nullptr);
    if (!found) {
        FreeLibrary(module);
        return;
    }
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    TemplateReader in(data, SizeofResource(module, found));
    CHECK_EQ(in.Word(), 1);       // extended template, version 1
    CHECK_EQ(in.Word(), 0xFFFF);  // its signature
    in.Dword();                   // help id
    CHECK_EQ(in.Dword(), 0);      // extended style
    CHECK_EQ(in.Dword(),
             WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK);
    const WORD count = in.Word();
    CHECK_EQ(count, 30);
    CHECK_EQ(in.Short(), 0);
    CHECK_EQ(in.Short(), 0);
    CHECK_EQ(in.Short(), 268);
    CHECK_EQ(in.Short(), 214);
    CHECK_STR(in.StringOrOrdinal(), "");  // no menu
    CHECK_STR(in.StringOrOrdinal(), "");  // the standard dialog class
    CHECK_STR(in.StringOrOrdinal(), kSettingsCaption);
    CHECK_EQ(in.Word(), 8);  // points
    in.Word();               // weight
    in.Byte();               // italic
    in.Byte();               // character set
    CHECK_STR(in.StringOrOrdinal(), "MS Sans Serif");
    for (int i = 0; i < count && i < 30 && in.ok(); ++i) {
        const ExpectedControl& expected = kControls[i];
        in.AlignDword();
        in.Dword();  // help id
        CHECK_EQ(in.Dword(), 0);
        const DWORD style = in.Dword();
        const short x = in.Short(), y = in.Short(), width = in.Short(), height = in.Short();
        const int id = int(in.Dword());
        const std::string className = ClassOfOrdinal(in.StringOrOrdinal());
        const std::string text = in.StringOrOrdinal();
        in.Skip(in.Word());  // creation data
        if (id != expected.id || style != expected.style || x != expected.x || y != expected.y ||
            width != expected.width || height != expected.height ||
            !SameNoCase(className, expected.className) || text != expected.text) {
            std::printf(
                "FAILED template control %d: id %d class %s style %08lx at %d,%d %dx%d \"%s\"\n",
                i + 1, id, className.c_str(), (unsigned long)style, x, y, width, height,
                text.c_str());
            ++Failures();
        }
    }
    CHECK(in.ok());
    FreeLibrary(module);
}

constexpr char kAboutCaption[] = "KMQX";

// Waits for the dialog with the caption. The about box in its place (the
// settings dialog's fallback) is a failure; it is closed so the test goes on.
HWND WaitForWindow(const char* caption) {
    for (int i = 0; i < 400; ++i) {
        HWND window = FindWindowA("#32770", caption);
        if (window && IsWindowVisible(window)) return window;
        HWND about = FindWindowA("#32770", kAboutCaption);
        if (about && std::strcmp(caption, kAboutCaption) != 0) {
            std::printf("FAILED: the about box appeared instead of \"%s\"\n", caption);
            ++Failures();
            PostMessageA(about, WM_COMMAND, IDOK, 0);
            return nullptr;
        }
        Sleep(25);
    }
    return nullptr;
}

bool WaitUntilGone(HWND window) {
    for (int i = 0; i < 200 && IsWindow(window); ++i) Sleep(25);
    return !IsWindow(window);
}

std::string TextOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassNameOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD WINAPI RunJob(LPVOID job) {
    (*static_cast<std::function<void()>*>(job))();
    return 0;
}

// Runs show() on this thread (it is modal) while act() works on the window
// with the given caption from another thread. Returns show()'s result; a
// window that act() leaves open is closed, so that the test goes on.
LRESULT WhileShown(const char* caption, const std::function<LRESULT()>& show,
                   const std::function<void(HWND)>& act, bool* appeared = nullptr) {
    std::atomic<bool> found{false};
    std::function<void()> watch = [&] {
        HWND window = WaitForWindow(caption);
        if (!window) return;
        found = true;
        act(window);
        if (!WaitUntilGone(window)) {
            std::printf("FAILED: \"%s\" still open; closing it\n", caption);
            ++Failures();
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
    };
    // The C++ runtime of the win32 thread model has no std::thread.
    HANDLE watcher = CreateThread(nullptr, 0, RunJob, &watch, 0, nullptr);
    const LRESULT result = show();
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    if (appeared)
        *appeared = found;
    else if (!found) {
        std::printf("FAILED: no window \"%s\" appeared\n", caption);
        ++Failures();
    }
    return result;
}

void CheckControls(HWND dialog) {
    int index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (index >= 30) {
            ++index;
            continue;
        }
        const ExpectedControl& expected = kControls[index++];
        const WORD id = WORD(GetDlgCtrlID(child));
        const std::string className = ClassNameOf(child), text = TextOf(child);
        if (id != WORD(expected.id) || !SameNoCase(className, expected.className) ||
            text != expected.text || !(GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) {
            std::printf("FAILED control %d: id %d class %s text \"%s\" visible %d\n", index, id,
                        className.c_str(), text.c_str(), IsWindowVisible(child) ? 1 : 0);
            ++Failures();
        }
    }
    CHECK_EQ(index, 30);
}

// Saves what the screen shows of the window as a 24-bit BMP.
void SaveScreenshot(HWND window, const char* path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(500);
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = BitmapFormat(width, height, 24, BI_RGB);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const DWORD imageSize = DWORD(DibStride(width) * height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageSize;
    if (FILE* out = std::fopen(path, "wb")) {
        std::fwrite(&file, sizeof file, 1, out);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
        std::fwrite(bits, imageSize, 1, out);
        std::fclose(out);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

void PressButton(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

struct State {
    INT32 values[10] = {};
    bool operator==(const State& other) const {
        return std::memcmp(values, other.values, sizeof values) == 0;
    }
};

State StateOf(HIC hic) {
    State state;
    CHECK_EQ(ICGetState(hic, state.values, sizeof state.values), 40);
    return state;
}

void CheckConfigureDialog(HIC compressor) {
    const State before = StateOf(compressor);
    const char* screenshot = std::getenv("KMQX_SCREENSHOT");
    // Through ICConfigure: the controls as tabled; values typed into the
    // boxes and OK change nothing.
    LRESULT result = WhileShown(
        kSettingsCaption, [&] { return ICConfigure(compressor, nullptr); },
        [&](HWND dialog) {
            CheckControls(dialog);
            if (screenshot) SaveScreenshot(dialog, screenshot);
            SetDlgItemTextA(dialog, 1000, "77");
            SetDlgItemTextA(dialog, 1013, "3");
            SendMessageA(GetDlgItem(dialog, 1016), BM_CLICK, 0, 0);
            PressButton(dialog, IDOK);
        });
    CHECK_EQ(result, 1);
    CHECK(StateOf(compressor) == before);

    // Through DRV_CONFIGURE, closed with Cancel.
    result = WhileShown(
        kSettingsCaption, [&] { return ICSendMessage(compressor, DRV_CONFIGURE, 0, 0); },
        [&](HWND dialog) {
            CHECK_EQ(GetWindow(dialog, GW_CHILD) != nullptr, 1);
            SetDlgItemTextA(dialog, 1014, "12");
            PressButton(dialog, IDCANCEL);
        });
    CHECK_EQ(result, 1);
    CHECK(StateOf(compressor) == before);

    // The end of the session closes it; a session that goes on does not.
    result = WhileShown(
        kSettingsCaption, [&] { return ICConfigure(compressor, nullptr); },
        [&](HWND dialog) {
            SendMessageA(dialog, WM_ENDSESSION, FALSE, 0);
            Sleep(200);
            CHECK(IsWindow(dialog));
            SendMessageA(dialog, WM_ENDSESSION, TRUE, 0);
        });
    CHECK_EQ(result, 1);
    CHECK(StateOf(compressor) == before);
}

void CheckAboutBox(HIC hic) {
    LRESULT result = WhileShown(
        kAboutCaption, [&] { return ICAbout(hic, nullptr); },
        [&](HWND box) {
            bool textFound = false, iconFound = false;
            int buttons = 0;
            for (HWND child = GetWindow(box, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                if (!IsWindowVisible(child)) continue;
                const std::string className = ClassNameOf(child);
                const LONG style = GetWindowLongA(child, GWL_STYLE);
                if (SameNoCase(className, "Button")) {
                    ++buttons;
                    CHECK_STR(TextOf(child), "OK");
                } else if (SameNoCase(className, "Static") && (style & SS_TYPEMASK) == SS_ICON) {
                    iconFound = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)) ==
                                LoadIconA(nullptr, IDI_INFORMATION);
                } else if (TextOf(child) == "Corvel Video Codec 1999") {
                    textFound = true;
                }
            }
            CHECK(textFound);
            CHECK(iconFound);
            CHECK_EQ(buttons, 1);
            PressButton(box, IDOK);
        });
    CHECK_EQ(result, ICERR_OK);
}

// The fault this guards against: a template looked up in a module of some
// other name. A copy of the DLL under another name still shows its dialog.
void CheckRenamedCopy() {
    CHECK(CopyFileA("KMQX.dll", "kmqx-renamed.dll", FALSE));
    CHECK(RegisterDriver("vidc.KMQR", "kmqx-renamed.dll"));
    HIC renamed = ICOpen(ICTYPE_VIDEO, mmioFOURCC('K', 'M', 'Q', 'R'), ICMODE_COMPRESS);
    CHECK(renamed != nullptr);
    if (renamed) {
        bool appeared = false;
        WhileShown(
            kSettingsCaption, [&] { return ICConfigure(renamed, nullptr); },
            [&](HWND dialog) { PressButton(dialog, IDOK); }, &appeared);
        CHECK(appeared);
        ICClose(renamed);
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDrivers32, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "vidc.KMQR");
        RegCloseKey(key);
    }
}

// DRV_CONFIGURE straight to the DLL's DriverProc, as a driver host sends it:
// the dialog keeps the whole driver identifier (a pointer, 64 bits wide on
// 64-bit Windows) in its DWLP_USER slot.
void CheckDriverProcConfigure() {
    HMODULE module = LoadLibraryA("KMQX.dll");
    CHECK(module != nullptr);
    if (!module) return;
    auto driverProc =
        reinterpret_cast<DRIVERPROC>(reinterpret_cast<void*>(GetProcAddress(module, "DriverProc")));
    CHECK(driverProc != nullptr);
    if (driverProc) {
        ICOPEN open{};
        open.dwSize = sizeof open;
        open.fccType = ICTYPE_VIDEO;
        open.fccHandler = kKmqxFourCC;
        open.dwFlags = ICMODE_COMPRESS;
        const DWORD_PTR id = driverProc(0, nullptr, DRV_OPEN, 0, reinterpret_cast<LPARAM>(&open));
        CHECK(id != 0);
        LONG_PTR stored = 0;
        const LRESULT result = WhileShown(
            kSettingsCaption, [&] { return driverProc(id, nullptr, DRV_CONFIGURE, 0, 0); },
            [&](HWND dialog) {
                stored = GetWindowLongPtrA(dialog, DWLP_USER);
                PressButton(dialog, IDOK);
            });
        CHECK_EQ(result, 1);
        CHECK(static_cast<DWORD_PTR>(stored) == id);
        CHECK_EQ(driverProc(id, nullptr, DRV_CLOSE, 0, 0), 1);
    }
    FreeLibrary(module);
}

}  // namespace

int main() {
    if (!RegisterCodec()) {
        std::printf("FAILED: could not register vidc.KMQX\n");
        return 1;
    }
    CheckTemplate();
    HIC compressor = ICOpen(ICTYPE_VIDEO, kKmqxFourCC, ICMODE_COMPRESS);
    CHECK(compressor != nullptr);
    if (!compressor) return Finish("dialog");
    CheckConfigureDialog(compressor);
    CheckAboutBox(compressor);
    CHECK_EQ(ICClose(compressor), ICERR_OK);
    CheckRenamedCopy();
    CheckDriverProcConfigure();
    return Finish("dialog");
}
