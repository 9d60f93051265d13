#pragma once
// The thumbnail strip under the picture: up to 120 thumbnails of a
// recording, each an image with its time and its number. A click on an
// image selects it and fires OnSkip; while the recording plays the control
// selects the thumbnail of the play position and scrolls it into view.
//
// The strip is one window: its thumbnails are no windows of their own but
// drawn in its paint, at the places four child controls each would have.
// Every thumbnail is made, moved, selected and freed on the control's
// user-interface thread; the reader and the layout thread only post to the
// control's window (WM_KRM_ADDNAIL, WM_KRM_LAYOUTNAIL).
#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "picture/DetailFrame.h"  // TWindowHandle
#include "nails/NailsIndex.h"

class TControlEvents;
class TNailsCreator;
class TNailsFrame;
class TNailsLayout;

class TNail {
 public:
  static constexpr int BorderSize = 64;
  static constexpr int ImageSize = 60;
  static constexpr COLORREF Green = RGB(0, 255, 0);
  static constexpr COLORREF Yellow = RGB(255, 255, 0);

  TNail(TNailsFrame& Strip, int Index);
  ~TNail();
  TNail(const TNail&) = delete;
  TNail& operator=(const TNail&) = delete;

  // Keeps the path and loads the picture; fails for a file that cannot be
  // read and for an extension other than .bmp, .ico, .wmf, .emf, .jpg and
  // .jpeg.
  void LoadImage(const std::string& Path);
  void SetSeconds(int32_t Seconds);
  // Client coordinates of the scrolled strip, of the border's top left.
  void SetLeft(int X);
  void SetTop(int Y);
  void SetSelected(bool Value);
  void Refresh();

  int Index() const { return FIndex; }
  void SetIndex(int Index) { FIndex = Index; }
  bool Selected() const { return FSelected; }
  int32_t Seconds() const { return FSeconds; }
  const std::string& ImagePath() const { return FImagePath; }
  const std::string& TimeCaption() const { return FTimeCaption; }
  std::string NumberCaption() const { return std::to_string(FIndex + 1); }
  int Left() const;
  int Top() const;
  int Width() const { return BorderSize; }
  int Height() const;
  int Right() const { return Left() + Width(); }
  int Bottom() const { return Top() + Height(); }
  // The places of the four parts, in the strip's client coordinates.
  RECT BorderRect() const;
  RECT ImageRect() const;
  RECT TimeRect() const;
  RECT NumberRect() const;
  bool ImageShown() const { return FImageShown; }
  bool BorderShown() const { return FSelected && FImageShown; }
  bool TimeShown() const { return FTimeShown; }

  void Paint(HDC DC) const;

 private:
  struct TObjectDeleter {
    void operator()(HGDIOBJ Object) const { DeleteObject(Object); }
  };
  struct TIconDestroyer {
    void operator()(HICON Icon) const { DestroyIcon(Icon); }
  };
  struct TMetafileDeleter {
    void operator()(HENHMETAFILE Metafile) const { DeleteEnhMetaFile(Metafile); }
  };

  void LoadBitmapFile(const std::string& Path);
  void LoadJpegFile(const std::string& Path);
  // Keeps a copy of Source stretched to the image's size, so that painting
  // never scales.
  void KeepStretched(HDC Source, int Width, int Height);
  void Invalidate() const;

  TNailsFrame& FStrip;
  int FIndex;
  bool FSelected = false;
  int32_t FSeconds = 0;
  std::string FImagePath;
  std::string FTimeCaption = "00:00:00";
  // Content coordinates of the border: client ones plus the scroll position.
  int FLeft = 10;
  int FTop = 10;
  bool FImageShown = false;
  bool FTimeShown = false;
  std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, TObjectDeleter> FBitmap;
  std::unique_ptr<std::remove_pointer_t<HICON>, TIconDestroyer> FIcon;
  std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, TMetafileDeleter> FMetafile;
};

class TNailsFrame {
 public:
  static constexpr int DefaultHeight = 63;
  static constexpr int SplitterHeight = 2;
  // The splitter leaves the strip at least this high.
  static constexpr int MinHeight = 30;

  explicit TNailsFrame(HWND Parent);
  // Ends the reader, frees the thumbnails, then ends the layout thread.
  ~TNailsFrame();
  TNailsFrame(const TNailsFrame&) = delete;
  TNailsFrame& operator=(const TNailsFrame&) = delete;

  HWND Handle() const { return FHandle.get(); }
  HWND Splitter() const { return FSplitter.get(); }
  // Shown by the strip itself, whatever its parents are.
  bool Visible() const;
  // The height the parent gives the strip; the splitter changes it.
  int StripHeight() const { return FHeight; }
  // The parent lays out its children again: the strip was shown or hidden
  // or its height changed.
  void SetAlignHandler(std::function<void()> Handler) { FAlign = std::move(Handler); }
  void SetEvents(TControlEvents* Events) { FEvents = Events; }
  COLORREF Color() const { return FColor; }
  void SetColor(COLORREF Color);

  // Replaces the thumbnails by those of Folder (ending in "\").
  void LoadNails(const std::string& Folder);
  // Fails when the image cannot be loaded; the thumbnail is then not added.
  void AddNail(const std::string& Path, int32_t Seconds);
  // A thumbnail the reader posted: AddNail, with its failure shown in a
  // box. That box's loop goes on adding the reader's thumbnails, so a
  // failure while it is up goes to the daily log instead: at most one box
  // at a time.
  void AddPostedNail(const std::string& Path, int32_t Seconds);
  void PlaceNail(int Index);
  void ShowPosition(int32_t Seconds);
  void NailClicked(TNail& Nail);
  void ClearNails();
  // The control opens a source: the strip goes until its next thumbnail,
  // and nothing of the last recording's reader may join it.
  void Hide();

  int Count() const { return FCount; }
  TNail& Nail(int Index) const { return *FNails[Index]; }
  TNail* SelectedNail() const { return FSelected; }
  int ColumnCount() const { return FColumnCount; }
  int ScrollPosition() const { return FScrollPos; }
  // The text height of the strip's font: the time label's height.
  int TextHeight() const { return FTextHeight; }
  int TextWidth(const std::string& Text, bool Bold) const;
  HFONT Font(bool Bold) const { return static_cast<HFONT>(Bold ? FBoldFont.get() : FFont.get()); }
  // The strip's parent: the control's window, where the threads post.
  HWND Target() const { return FParent; }
  // Whether the thumbnail reader or layout thread exists (tests, bench).
  bool ReaderRunning() const;
  TNailsLayout* LayoutThread() const { return FLayout.get(); }

 private:
  struct TObjectDeleter {
    void operator()(HGDIOBJ Object) const { DeleteObject(Object); }
  };
  using TObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, TObjectDeleter>;

  static LRESULT CALLBACK StripProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  static LRESULT CALLBACK SplitterProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Msg, WPARAM WParam, LPARAM LParam);
  LRESULT HandleSplitter(UINT Msg, WPARAM WParam, LPARAM LParam);
  void StopReader();
  void ShowStrip();
  void CreateSplitter();
  int ColumnsFor(int NailWidth) const;
  // Places Nail k after k - 1 with the current column count.
  void PlaceByGrid(int Index);
  void FrameResize();
  void UpdateScrollRange();
  void ScrollTo(int Position);
  void Scroll(WPARAM Request);
  void Paint();
  TNail* NailAt(POINT Point) const;

  HWND FParent;
  TWindowHandle FHandle;
  TWindowHandle FSplitter;
  std::array<std::unique_ptr<TNail>, MaxNails> FNails;
  int FCount = 0;
  TNail* FSelected = nullptr;
  int FColumnCount = 0;
  std::unique_ptr<TNailsCreator> FReader;
  std::unique_ptr<TNailsLayout> FLayout;
  TControlEvents* FEvents = nullptr;
  std::function<void()> FAlign;
  COLORREF FColor = RGB(0, 0, 0);
  TObject FBrush;
  TObject FFont;
  TObject FBoldFont;
  int FTextHeight = 13;
  HDC FMeasureDC = nullptr;
  HGDIOBJ FMeasureOld = nullptr;
  int FHeight = DefaultHeight;
  bool FScrollBarVisible = false;
  int FScrollPos = 0;
  // A left button went down on this thumbnail's image: its release clicks.
  TNail* FPressed = nullptr;
  // A box shows a failure of AddPostedNail.
  bool FFailureShown = false;
  // False once the strip is gone: a box's loop may free it.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  // The splitter is being dragged: where it started, in screen pixels.
  bool FDragging = false;
  int FDragStartY = 0;
  int FDragStartHeight = 0;
};
