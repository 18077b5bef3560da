// Runs beside Quillane.exe in the same Wine prefix and looks at it the way
// Win32 sees it. Output goes through WriteFile so the bytes (UTF-8, bare \n)
// reach the driver exactly, without the C runtime's text-mode translation.
//
//   probe info              class, title, styles and rectangles of the main window
//   probe box-read MS       wait up to MS for the "Error" box, print its text, leave it open
//   probe box-ok            press OK on the open "Error" box and wait until it is gone
//   probe box-glyphs        fail unless the open "Error" box's font draws each
//                           character of its text beyond ASCII
//   probe box-none MS       fail if an "Error" box shows up within MS
//   probe close             post WM_CLOSE to the main window
//   probe acp               print the ANSI code page this prefix gives a process
//   probe hold MS FILE      keep FILE open as an indexer would, without delete
//                           sharing, for MS; prints "held" once it is open
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int poll_ms = 20;
constexpr int text_control_id = 0xFFFF;
constexpr int icon_control_id = 0x0440;

void write_out(const std::string& s)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

int fail(const char* why)
{
    DWORD written = 0;
    std::string line = std::string("probe: ") + why + "\n";
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return 1;
}

std::string utf8(const std::wstring& w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring window_text(HWND h)
{
    std::wstring s(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    s.resize(static_cast<size_t>(GetWindowTextW(h, s.data(), static_cast<int>(s.size()))));
    return s;
}

struct Search {
    HWND found = nullptr;
    int count = 0;
};

BOOL CALLBACK match_title(HWND h, LPARAM p)
{
    auto* s = reinterpret_cast<Search*>(p);
    if (IsWindowVisible(h) && window_text(h) == L"Quillane") {
        s->found = h;
        ++s->count;
    }
    return TRUE;
}

// The program is looked up by title rather than by class so that a wrong
// class name shows up in `info` instead of as "window not found".
HWND main_window()
{
    Search search;
    EnumWindows(match_title, reinterpret_cast<LPARAM>(&search));
    return search.count == 1 ? search.found : nullptr;
}

HWND error_box() { return FindWindowW(L"#32770", L"Error"); }

HWND wait_box(int ms)
{
    for (int waited = 0;; waited += poll_ms) {
        if (HWND box = error_box(); box && IsWindowVisible(box))
            return box;
        if (waited >= ms)
            return nullptr;
        Sleep(poll_ms);
    }
}

int info()
{
    HWND h = main_window();
    if (!h)
        return fail("no single visible window titled Quillane");
    wchar_t cls[256] = {};
    GetClassNameW(h, cls, 256);
    RECT r{}, c{};
    GetWindowRect(h, &r);
    GetClientRect(h, &c);
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "class=%s\ntitle=%s\nclassstyle=0x%08lx\nstyle=0x%08lx\nexstyle=0x%08lx\nmenu=%d\n"
                  "rect=%ld,%ld,%ld,%ld\nclient=%ld,%ld,%ld,%ld\n",
                  utf8(cls).c_str(), utf8(window_text(h)).c_str(), GetClassLongW(h, GCL_STYLE),
                  static_cast<unsigned long>(GetWindowLongW(h, GWL_STYLE)),
                  static_cast<unsigned long>(GetWindowLongW(h, GWL_EXSTYLE)), GetMenu(h) != nullptr ? 1 : 0,
                  r.left, r.top, r.right, r.bottom, origin.x, origin.y, c.right, c.bottom);
    write_out(buf);
    return 0;
}

// Besides the text, the box must look like a plain warning: owned by nobody
// (so it is not tied to the main window), an icon, and OK as its only button.
int box_read(int ms)
{
    HWND box = wait_box(ms);
    if (!box)
        return fail("no \"Error\" box appeared in time");
    HWND text = GetDlgItem(box, text_control_id);
    if (!text)
        return fail("the \"Error\" box has no text control");
    if (GetWindow(box, GW_OWNER))
        return fail("the \"Error\" box has an owner window");
    HWND icon = GetDlgItem(box, icon_control_id);
    if (!icon || !IsWindowVisible(icon))
        return fail("the \"Error\" box shows no icon");
    for (int id : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
        if (HWND b = GetDlgItem(box, id); b && IsWindowVisible(b))
            return fail("the \"Error\" box has a button besides OK");
    if (HWND ok = GetDlgItem(box, IDOK); !ok || !IsWindowVisible(ok))
        return fail("the \"Error\" box has no OK button");
    write_out(utf8(window_text(text)));
    return 0;
}

int box_ok()
{
    HWND box = wait_box(0);
    if (!box)
        return fail("no \"Error\" box is open");
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    for (int waited = 0; IsWindow(box); waited += poll_ms) {
        if (waited >= 5000)
            return fail("the \"Error\" box stayed open after OK");
        Sleep(poll_ms);
    }
    return 0;
}

// A character no font has comes out as the font's missing-glyph box; one the
// box's font, or a font linked to it, has comes out otherwise. Each is drawn
// alone, black on white, and compared pixel for pixel. The font is made here
// as message boxes make theirs, from the system's message font: a font handle
// means nothing in another process.
int box_glyphs()
{
    constexpr int cell = 64;
    constexpr wchar_t unassigned = 0x0378;
    HWND box = wait_box(0);
    if (!box)
        return fail("no \"Error\" box is open");
    HWND text = GetDlgItem(box, text_control_id);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!text || !SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return fail("cannot tell the \"Error\" box's font");
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), cell, -cell, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!font || !dc || !bitmap)
        return fail("cannot make a font and a bitmap to draw on");
    HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    HGDIOBJ old_font = SelectObject(dc, font);
    auto drawn = [&](wchar_t c) {
        RECT all{0, 0, cell, cell};
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &all, &c, 1, nullptr);
        GdiFlush();
        auto* pixels = static_cast<const DWORD*>(bits);
        return std::vector<DWORD>(pixels, pixels + cell * cell);
    };
    const std::vector<DWORD> missing = drawn(unassigned);
    std::wstring lacking;
    for (wchar_t c : window_text(text))
        if (c > 0x7F && lacking.find(c) == std::wstring::npos && drawn(c) == missing)
            lacking += c;
    SelectObject(dc, old_font);
    SelectObject(dc, old_bitmap);
    DeleteObject(bitmap);
    DeleteObject(font);
    DeleteDC(dc);
    if (!lacking.empty())
        return fail(("the \"Error\" box's font has no glyph for " + utf8(lacking)).c_str());
    return 0;
}

int box_none(int ms)
{
    if (HWND box = wait_box(ms)) {
        HWND text = GetDlgItem(box, text_control_id);
        write_out(text ? utf8(window_text(text)) : std::string());
        return fail("an unexpected \"Error\" box appeared");
    }
    return 0;
}

int close_main()
{
    HWND h = main_window();
    if (!h)
        return fail("no single visible window titled Quillane");
    PostMessageW(h, WM_CLOSE, 0, 0);
    return 0;
}

int acp()
{
    write_out(std::to_string(GetACP()) + "\n");
    return 0;
}

} // namespace

int hold(int ms, const wchar_t* path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail("hold: cannot open the file");
    write_out("held\n");
    Sleep(static_cast<DWORD>(ms));
    CloseHandle(file);
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    std::wstring cmd = argc > 1 ? argv[1] : L"";
    int ms = argc > 2 ? _wtoi(argv[2]) : 0;
    if (cmd == L"info")
        return info();
    if (cmd == L"box-read" && argc == 3)
        return box_read(ms);
    if (cmd == L"box-ok")
        return box_ok();
    if (cmd == L"box-glyphs")
        return box_glyphs();
    if (cmd == L"box-none" && argc == 3)
        return box_none(ms);
    if (cmd == L"close")
        return close_main();
    if (cmd == L"acp")
        return acp();
    if (cmd == L"hold" && argc == 4)
        return hold(ms, argv[3]);
    return fail("usage: probe info | box-read MS | box-ok | box-glyphs | box-none MS | close | acp | hold MS FILE");
}
