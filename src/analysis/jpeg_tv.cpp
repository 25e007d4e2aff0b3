// The JPEG colour test: libjpeg decodes from its own memory source; its
// errors land at the jump point of jpeg_decide, which is set before the
// decoder is created, so every error (creation included) is caught and the
// decoder destroyed on both roads.
#include "analysis/jpeg_tv.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstring>

#include "analysis/png_tv.h"
#include "foundation/log.h"

namespace {

struct JpegErrors {
  jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
  std::jmp_buf jump;
};

void output_message_null(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  LOG_ERROR("%s", text);
}

[[noreturn]] void error_exit_null(j_common_ptr cinfo) {
  output_message_null(cinfo);
  std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

const char* color_space_name(J_COLOR_SPACE space) {
  static constexpr const char* NAMES[] = {"unknown", "Grayscale", "RGB", "YUV", "CMYK", "YCCK"};
  const int code = static_cast<int>(space);
  return code >= 0 && code < 6 ? NAMES[code] : "unknown";
}

bool pixel_has_color(const JSAMPLE* pixel) {
  return samples_differ(pixel[0], pixel[1], pixel[2]);
}

// Bytes of the coefficients that an image of several scans keeps for the
// whole image until its last scan is read: every block of every component,
// whole sampling units, whatever the output scale.
std::uint64_t coefficient_bytes(const jpeg_decompress_struct& cinfo) {
  const auto round_up = [](std::uint64_t n, int unit) {
    const std::uint64_t u = unit > 0 ? static_cast<std::uint64_t>(unit) : 1;
    return (n + u - 1) / u * u;
  };
  std::uint64_t total = 0;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& component = cinfo.comp_info[c];
    total += round_up(component.width_in_blocks, component.h_samp_factor) *
             round_up(component.height_in_blocks, component.v_samp_factor) * DCTSIZE2 *
             sizeof(JCOEF);
  }
  return total;
}

// false (logged) when the decoder's whole-image buffers would pass the
// memory budget.
bool buffers_fit(jpeg_decompress_struct* cinfo, const char* name) {
  if (!jpeg_has_multiple_scans(cinfo)) return true;
  const std::uint64_t needed = coefficient_bytes(*cinfo);
  if (needed <= IMAGE_TV_MEMORY_BUDGET) return true;
  LOG_INFO("jpeg_has_color: '%s' (%u x %u pixels, %d components, several scans) needs %llu MB "
           "of coefficients, more than %llu MB: colour not judged",
           name, cinfo->image_width, cinfo->image_height, cinfo->num_components,
           static_cast<unsigned long long>(needed >> 20),
           static_cast<unsigned long long>(IMAGE_TV_MEMORY_BUDGET >> 20));
  return false;
}

// Sets the output scale to the largest of 1, 1/2, 1/4 and 1/8 whose samples
// stay within IMAGE_TV_MAX_SAMPLES; false (logged) when none does.
bool choose_scale(jpeg_decompress_struct* cinfo, const char* name) {
  for (const unsigned denominator : {1U, 2U, 4U, 8U}) {
    cinfo->scale_num = 1;
    cinfo->scale_denom = denominator;
    jpeg_calc_output_dimensions(cinfo);
    const std::uint64_t samples = static_cast<std::uint64_t>(cinfo->output_width) *
                                  cinfo->output_height * cinfo->output_components;
    if (samples <= IMAGE_TV_MAX_SAMPLES) {
      if (denominator > 1) {
        LOG_DEBUG("jpeg_has_color: '%s' (%u x %u pixels) decoded at 1/%u", name,
                  cinfo->image_width, cinfo->image_height, denominator);
      }
      return true;
    }
  }
  LOG_INFO("jpeg_has_color: '%s' has %u x %u pixels, more than are decoded: colour not judged",
           name, cinfo->image_width, cinfo->image_height);
  return false;
}

// Errors by which libjpeg says that the image needs more memory than it may
// take.
bool out_of_budget(int code) { return code == JERR_NO_BACKING_STORE || code == JERR_OUT_OF_MEMORY; }

// Walks the scanlines; 1 at the first coloured pixel.
int scan_lines(jpeg_decompress_struct* cinfo) {
  const int components = cinfo->output_components;
  JSAMPARRAY rows = (*cinfo->mem->alloc_sarray)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
      cinfo->output_width * static_cast<JDIMENSION>(components), 1);
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION y = cinfo->output_scanline;
    if (jpeg_read_scanlines(cinfo, rows, 1) != 1) break;
    for (JDIMENSION x = 0; x < cinfo->output_width; ++x) {
      const JSAMPLE* pixel = rows[0] + static_cast<std::size_t>(x) * components;
      if (pixel_has_color(pixel)) {
        LOG_DEBUG("is_color_scanline: color pixel %u,%u,%u at x=%u,y=%u", pixel[0], pixel[1],
                  pixel[2], x, y);
        return 1;
      }
    }
  }
  return 0;
}

// Everything that libjpeg may leave by its jump point.
int jpeg_judge(jpeg_decompress_struct* cinfo, const std::uint8_t* data, std::uint64_t length,
               const char* name) {
  jpeg_create_decompress(cinfo);
  // libjpeg's whole-image buffers stay in memory up to this; beyond it
  // libjpeg would need a backing store, which it does not have, and stops.
  cinfo->mem->max_memory_to_use = static_cast<long>(IMAGE_TV_MEMORY_BUDGET);
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(length));
  (void)jpeg_read_header(cinfo, TRUE);
  LOG_DEBUG("jpeg_has_color: name='%s', color_space='%s'(%d)", name,
            color_space_name(cinfo->out_color_space), static_cast<int>(cinfo->out_color_space));
  if (cinfo->out_color_space != JCS_RGB && cinfo->out_color_space != JCS_CMYK) {
    LOG_DEBUG("Treating image as grayscale");
    return IMAGE_GRAY;
  }
  if (!buffers_fit(cinfo, name) || !choose_scale(cinfo, name)) return IMAGE_UNJUDGED;
  LOG_DEBUG("jpeg_has_color:  width=%u,height=%u", cinfo->output_width, cinfo->output_height);
  (void)jpeg_start_decompress(cinfo);
  return scan_lines(cinfo) != 0 ? IMAGE_COLOR : IMAGE_GRAY;
}

// The jump point: a libjpeg error anywhere in jpeg_judge comes back here.
int jpeg_decide(jpeg_decompress_struct* cinfo, JpegErrors* errors, const std::uint8_t* data,
                std::uint64_t length, const char* name) {
  if (setjmp(errors->jump) != 0) {
    if (out_of_budget(errors->manager.msg_code)) {
      LOG_INFO("jpeg_has_color: '%s' needs more than %llu MB to decode: colour not judged", name,
               static_cast<unsigned long long>(IMAGE_TV_MEMORY_BUDGET >> 20));
      return IMAGE_UNJUDGED;
    }
    LOG_ERROR("jpeg_has_color: returned from long jmp. '%s' appears not to be a valid JPEG file",
              name);
    return IMAGE_BROKEN;
  }
  return jpeg_judge(cinfo, data, length, name);
}

}  // namespace

int jpeg_has_color(const std::uint8_t* data, std::uint64_t length, const char* name) {
  if (name == nullptr) name = "";
  static const std::uint8_t NO_DATA = 0;
  if (data == nullptr) {
    data = &NO_DATA;
    length = 0;
  }
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  JpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = error_exit_null;
  errors.manager.output_message = output_message_null;
  const int result = jpeg_decide(&cinfo, &errors, data, length, name);
  jpeg_destroy_decompress(&cinfo);
  return result;
}
