#include "decode/JPEGDecoder.h"

#include <cstdio>
#include <cstring>
#include <string>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "decode/SuperMemoryStream.h"

EJPEG::EJPEG(int code) : EInvalidGraphic("JPEG error #" + std::to_string(code)), FCode(code) {}

namespace {

// libjpeg's error exit must never return. It jumps back to the guard below;
// between the two there are only libjpeg's C frames and our plain-data
// callbacks, so the jump skips no destructor. The C++ exception is raised
// only after the guard has returned.
struct TErrorManager {
  jpeg_error_mgr Pub;
  void* JumpBuffer[5];
};

struct TSourceManager {
  jpeg_source_mgr Pub;
  TStream* Stream;
  const uint8_t* Memory;  // set when the stream's bytes can be read in place
  bool Failed;
  JOCTET Buffer[4096];
  JOCTET FakeEOI[2];
};

struct TDecodeJob {
  jpeg_decompress_struct Info;
  TErrorManager Err;
  TSourceManager Src;
  jpeg_progress_mgr Progress;
  bool Created;
  bool Decode;
  BITMAPINFOHEADER* HeaderOut;
  BITMAPINFOHEADER Expected;
  uint8_t* Dest;
  bool Result;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
  __builtin_longjmp(err->JumpBuffer, 1);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatNoMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void ResetErrorManager(j_common_ptr cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->num_warnings = 0;
}
void ProgressNone(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

// The end of the data reads as an end-of-image marker, so a truncated picture
// decodes to its end (libjpeg fills the missing rows) instead of waiting.
void InsertFakeEOI(TSourceManager* src) {
  src->FakeEOI[0] = 0xFF;
  src->FakeEOI[1] = JPEG_EOI;
  src->Pub.next_input_byte = src->FakeEOI;
  src->Pub.bytes_in_buffer = 2;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<TSourceManager*>(cinfo->src);
  int64_t got = 0;
  if (src->Memory != nullptr) {
    // In place: hand libjpeg the whole rest of the stream at once.
    int64_t position = src->Stream->Position();
    int64_t size = src->Stream->Size();
    if (position >= 0 && position < size) {
      got = size - position;
      if (uint64_t(got) > SIZE_MAX) got = int64_t(SIZE_MAX);
      src->Pub.next_input_byte = src->Memory + position;
      src->Stream->Seek(got, soCurrent);
    }
  } else {
    try {
      got = src->Stream->Read(src->Buffer, sizeof(src->Buffer));
    } catch (...) {
      src->Failed = true;
      got = 0;
    }
    if (got < 0) got = 0;
    src->Pub.next_input_byte = src->Buffer;
  }
  if (src->Failed) ERREXIT(cinfo, JERR_FILE_READ);
  if (got == 0) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    InsertFakeEOI(src);
  } else {
    src->Pub.bytes_in_buffer = static_cast<size_t>(got);
  }
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long num_bytes) {
  auto* src = reinterpret_cast<TSourceManager*>(cinfo->src);
  if (num_bytes <= 0) return;
  while (size_t(num_bytes) > src->Pub.bytes_in_buffer) {
    num_bytes -= static_cast<long>(src->Pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  src->Pub.next_input_byte += num_bytes;
  src->Pub.bytes_in_buffer -= size_t(num_bytes);
}

// Runs inside the guard: plain data only, so a jump out of libjpeg is safe.
void RunJob(TDecodeJob* job) {
  jpeg_decompress_struct* cinfo = &job->Info;
  jpeg_create_decompress(cinfo);
  job->Created = true;

  job->Src.Pub.init_source = InitSource;
  job->Src.Pub.fill_input_buffer = FillInputBuffer;
  job->Src.Pub.skip_input_data = SkipInputData;
  job->Src.Pub.resync_to_restart = jpeg_resync_to_restart;
  job->Src.Pub.term_source = TermSource;
  job->Src.Pub.next_input_byte = nullptr;
  job->Src.Pub.bytes_in_buffer = 0;
  cinfo->src = &job->Src.Pub;

  jpeg_read_header(cinfo, TRUE);

  if (!job->Decode) {
    BITMAPINFOHEADER& info = *job->HeaderOut;
    std::memset(&info, 0, sizeof(info));
    info.biSize = sizeof(BITMAPINFOHEADER);
    info.biWidth = static_cast<int32_t>(cinfo->image_width);
    info.biHeight = static_cast<int32_t>(cinfo->image_height);
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = 0;
    uint64_t size = uint64_t(RowBytes(cinfo->image_width, 24, 32)) * cinfo->image_height;
    info.biSizeImage = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
    job->Result = true;
    return;
  }

  cinfo->scale_num = 1;
  cinfo->scale_denom = 1;
  cinfo->do_block_smoothing = TRUE;
  cinfo->dct_method = JDCT_IFAST;
  cinfo->dither_mode = JDITHER_ORDERED;
  cinfo->two_pass_quantize = FALSE;
  // Grey, YCbCr and RGB pictures all come out as blue, green, red; CMYK and
  // YCCK cannot and are refused by libjpeg in start_decompress.
  cinfo->out_color_space = JCS_EXT_BGR;
  job->Progress.progress_monitor = ProgressNone;
  cinfo->progress = &job->Progress;

  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 3) ERREXIT(cinfo, JERR_CONVERSION_NOTIMPL);

  int64_t height = job->Expected.biHeight < 0 ? -int64_t(job->Expected.biHeight) : job->Expected.biHeight;
  if (int64_t(cinfo->output_width) != job->Expected.biWidth || int64_t(cinfo->output_height) != height) {
    jpeg_abort_decompress(cinfo);
    job->Result = false;
    return;
  }

  const ptrdiff_t step = -ptrdiff_t(RowBytes(cinfo->output_width, 24, 32));
  uint8_t* dest = job->Dest;
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = dest;
    JDIMENSION rows = jpeg_read_scanlines(cinfo, &row, 1);
    if (rows == 0) {
      jpeg_abort_decompress(cinfo);
      job->Result = false;
      return;
    }
    dest += step * ptrdiff_t(rows);
  }
  jpeg_finish_decompress(cinfo);
  job->Result = true;
}

__attribute__((noinline)) bool RunGuarded(TDecodeJob* job) {
  if (__builtin_setjmp(job->Err.JumpBuffer)) return false;
  RunJob(job);
  return true;
}

bool Run(TDecodeJob& job, TStream& stream) {
  jpeg_std_error(&job.Err.Pub);
  job.Err.Pub.error_exit = ErrorExit;
  job.Err.Pub.emit_message = EmitMessage;
  job.Err.Pub.output_message = OutputMessage;
  job.Err.Pub.format_message = FormatNoMessage;
  job.Err.Pub.reset_error_mgr = ResetErrorManager;
  job.Info.err = &job.Err.Pub;

  stream.SetPosition(0);
  job.Src.Stream = &stream;
  auto* memory = dynamic_cast<TSuperMemoryStream*>(&stream);
  job.Src.Memory = memory != nullptr ? memory->Memory() : nullptr;

  bool completed = RunGuarded(&job);
  if (job.Created) jpeg_destroy_decompress(&job.Info);
  if (!completed) throw EJPEG(job.Err.Pub.msg_code);
  return job.Result;
}

}  // namespace

bool ReadJPEGHeader(BITMAPINFOHEADER& Info, TStream& Stream) {
  TDecodeJob job{};
  job.Decode = false;
  job.HeaderOut = &Info;
  return Run(job, Stream);
}

bool DecodeJPEGToDIB(TStream& Stream, BITMAPINFOHEADER Info, uint8_t* Dest) {
  TDecodeJob job{};
  job.Decode = true;
  job.Expected = Info;
  job.Dest = Dest;
  return Run(job, Stream);
}
