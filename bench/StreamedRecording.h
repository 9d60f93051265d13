#pragma once
// What the source and play benchmarks share: a recording written to disk
// record by record (the test-support writer serialises every record and the
// index, and only the index is kept in memory, so hundreds of megabytes need
// no image of the whole file), a message-only window standing for the
// control, and a high-resolution clock.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "KrmWriter.h"

inline double BenchSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return double(now.QuadPart) / frequency;
}

inline std::string BenchTempPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  return std::string(folder) + "brx_bench_" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

class TStreamedRecording {
 public:
  TStreamedRecording(const std::string& path, uint16_t width, uint16_t height, uint32_t duration)
      : FIndex(width, height), FWidth(width), FHeight(height), FDuration(duration) {
    FFile =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FFile == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
    // The header is written last, once the length of the frame data is known.
    Write(Bytes(KRM_HEADER_SIZE, 0));
  }
  ~TStreamedRecording() {
    if (FFile != INVALID_HANDLE_VALUE) CloseHandle(FFile);
  }
  TStreamedRecording(const TStreamedRecording&) = delete;
  TStreamedRecording& operator=(const TStreamedRecording&) = delete;

  // Appends the record; a key frame also goes into the index.
  void Add(const KrmRecord& record) {
    if (record.FrameType == FT_KEY) FIndex.AddIndexEntry(record.Time, FDataBytes);
    const Bytes bytes = record.Serialize();
    Write(bytes);
    FDataBytes += bytes.size();
    FRecords++;
  }

  // Writes the index and the header and closes the file; answers its size.
  uint64_t Finish() {
    Write(FIndex.IndexImage());
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(FFile, start, nullptr, FILE_BEGIN)) throw std::runtime_error("cannot rewind");
    Write(KrmWriter::Header(KRM_VERSION_0101, FWidth, FHeight, FDuration, FDataBytes));
    LARGE_INTEGER size;
    GetFileSizeEx(FFile, &size);
    CloseHandle(FFile);
    FFile = INVALID_HANDLE_VALUE;
    return uint64_t(size.QuadPart);
  }

  uint64_t DataBytes() const { return FDataBytes; }
  uint32_t Records() const { return FRecords; }

 private:
  void Write(const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD part = DWORD(std::min<size_t>(bytes.size() - done, 1u << 24));
      DWORD written = 0;
      if (!WriteFile(FFile, bytes.data() + done, part, &written, nullptr) || written == 0)
        throw std::runtime_error("cannot write the recording");
      done += written;
    }
  }

  HANDLE FFile = INVALID_HANDLE_VALUE;
  KrmWriter FIndex;  // holds only the index entries
  uint16_t FWidth;
  uint16_t FHeight;
  uint32_t FDuration;
  uint64_t FDataBytes = 0;
  uint32_t FRecords = 0;
};

// A message-only window standing for the control: every engine message goes
// to the handler, on the thread that made the window.
class TControlWindow {
 public:
  using THandler = std::function<void(UINT, WPARAM, LPARAM)>;

  TControlWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &TControlWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BrxBenchControl";
    RegisterClassW(&wc);
    FWindow =
        CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!FWindow) throw std::runtime_error("cannot create the control window");
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TControlWindow() { DestroyWindow(FWindow); }
  TControlWindow(const TControlWindow&) = delete;
  TControlWindow& operator=(const TControlWindow&) = delete;

  HWND Handle() const { return FWindow; }
  void SetHandler(THandler handler) { FHandler = std::move(handler); }

  // Handles the window's messages until done() holds or the bound passes.
  bool PumpUntil(const std::function<bool()>& done, double timeoutSeconds) {
    const double start = BenchSeconds();
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      if (done()) return true;
      const double left = timeoutSeconds - (BenchSeconds() - start);
      if (left <= 0) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min(left * 1000.0, 20.0)) + 1, QS_ALLINPUT);
    }
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->FHandler && msg >= 0x400 && msg <= 0x414) {
      self->FHandler(msg, wParam, lParam);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }

  HWND FWindow = nullptr;
  THandler FHandler;
};
