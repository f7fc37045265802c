// libjpeg's errors, as every JPEG reader here takes them: they end the
// decoding, never the process.
#pragma once

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

inline void jpeg_fails(j_common_ptr cinfo) {
  JpegError* e = reinterpret_cast<JpegError*>(cinfo->err);
  e->mgr.format_message(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

// Data that ends early would decode as grey: a damaged texture.
inline void jpeg_warns(j_common_ptr cinfo, int level) {
  if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) jpeg_fails(cinfo);
}

// Attaches the handlers to a decompressor about to be created.
inline void use_jpeg_errors(jpeg_decompress_struct* cinfo, JpegError* err) {
  err->message[0] = 0;
  cinfo->err = jpeg_std_error(&err->mgr);
  err->mgr.error_exit = jpeg_fails;
  err->mgr.emit_message = jpeg_warns;
}
