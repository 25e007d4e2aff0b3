// The pattern table of the PostScript analyzer. The patterns never change,
// so they are compiled once per process (on first use) instead of once per
// job; each test runs its pattern on a bounded window only.
#include "analysis/ps_regex.h"

#include <array>

#include "foundation/log.h"

namespace {

constexpr int A = PCRE_ANCHORED;
constexpr int C = PCRE_CASELESS;
constexpr int D = PCRE_DOTALL;
constexpr int M = PCRE_MULTILINE;

struct Row {
  PsRe id;
  const char* pattern;
  int options;
};

constexpr Row ROWS[] = {
    {PsRe::DATASOURCE_AIPROC, R"re(\/DataSource\s+cg_aiproc\s+ID\s+)re", A | D},
    {PsRe::DONIMAGE_START, R"re(doNimage\s+[^\{])re", A | D},
    {PsRe::COMPRESSED_PROLOG,
     R"re(\%\%BeginProlog\s+currentfile\s+/ASCII85Decode\s+filter\s*/LZWDecode\s+filter\s+cvx\s+exec)re",
     A | D | M},
    {PsRe::TARGET_DEVICE, R"re(\%\%TargetDevice:\s*\(\s*(.+?)\s*\))re", A},
    {PsRe::ADO_COMMENTS, R"re(\%ADO_BeginApplication\w*?Comments.*?\%ADO_EndApplication\w*?Comments)re",
     A | D},
    {PsRe::VIEWING_ORIENTATION,
     R"re(\%\%ViewingOrientation:\s+(-?\d+)\s+(-?\d+)\s+(-?\d+)\s+(-?\d+))re", A | D},
    {PsRe::IMPOSED_PAGE, R"re(%%Page:\s*(\d+)\s+(\d+)\s+%%XRXPagelet:\s*\d+\s*of\s*\d+)re", A | D | M},
    {PsRe::FX_SIG_SIZE, R"re(%%BeginFeature:\s*\*FXSigSize(.*?)%%EndFeature)re", A | D},
    {PsRe::PAGE_SIZE_FEATURE, R"re(%%BeginFeature:\s*\*Page(?:Size|Region)[ \t]+["(]?([^\s")]+)["(]?)re",
     A | D},
    {PsRe::INDESIGN_PAGE, R"re(\%\%Page:\s+\(Page \d+\)\s+(\d+))re", A},
    {PsRe::QXP_PAGE, R"re(%%QRKPageEnd.*?QXEndPage.*?showpage)re", A | D},
    {PsRe::TRAILER_PAGES, R"re(\%\%Trailer.+\%\%Pages:\s*(\d+)\s+)re", A | D},
    {PsRe::FILLER_PAGE, R"re(\%\%Page:\s+\(filler\)\s+(\d))re", A},
    {PsRe::DSC_PAGE, R"re(%%Page:\s*([\d\(].*))re", A},
    // The label is any word or a parenthesised text (roman numerals of front
    // matter, say); the ordinal is the number behind it.
    {PsRe::DSC_PAGE_ORDINAL, R"re(%%Page:\s*(\([^)\r\n]*\)|\S+)\s+(\d+))re", A},
    {PsRe::EPSF_HEADER, R"re(%!PS-Adobe-\d+\.\d+\s+EPSF-\d+\.\d+)re", A},
    {PsRe::BEGIN_PDF_RESOURCE, R"re(%%BeginResource:\s+(\w+)\s*\(\s*PDF\s+(\w+)\s+obj_?(\d+)\s*\))re",
     A},
    {PsRe::DUPLEX_KEYWORD, R"re(Duplex\s+(true|mandup|top|left|right))re", A | C},
    {PsRe::SETPAGEDEVICE_DICT, R"re(<<\s*([^>]+)\s*>>\s*setpagedevice)re", A | D | M},
    {PsRe::STRICT_PAGE, R"re(\(\%\%\[Page:\s*(\d+)\]\%\%\))re", A},
    {PsRe::COPIES, R"re(Copies\s+(\d+))re", A | C},
    {PsRe::KYOCERA_PAGE, R"re(H SHOWPAGE.*?%%PageTrailer)re", A | D | C},
    {PsRe::ESP_SHOWPAGE_REDEFINED, R"re(userdict\s*/ESPshowpage\s*/showpage\s+load\s+put)re", A},
    // The name, then (on its line) the procedure that calls showpage: the
    // name of an unrelated word before it does not reach over lines.
    {PsRe::MACRO_TYPE1,
     R"re(\/(\w+)\b[^\{\}\n]*?\{[^\{\}]*?showpage[^\{\}]*?\}[^\{\}]*?bind[^A-Za-z]*def)re", A | D | C},
    {PsRe::MACRO_TYPE2, R"re(d[ef]{0,2}/(\w+)/showpage\b)re", A | D | C},
    // The word behind showpage is looked at (for "quit"); a showpage that
    // ends the job has none, and still counts.
    {PsRe::SHOWPAGE_WORD, R"re((showpage)(?:.*?(\w+))?)re", A | D | M},
    {PsRe::SHOWPAGE_DEFINED, R"re(showpage\s*[}\s]?\s*(?:def|bind|bd|where|if))re", A | D | M},
    // showpage in a procedure body that closes ahead (not one that a later
    // procedure of its own follows).
    {PsRe::SHOWPAGE_IN_PROC, R"re(showpage[^{]*\}\s*(?:def|bind|bd))re", A | D | M},
    {PsRe::SHOWN_TEXT, R"re(\(([^\(^\)]{1,40})\)\s*(?:S|show)\s+)re", D | M},
    {PsRe::DUPLEX_TUMBLE, R"re(/(Duplex|Tumble)\s+(true|false))re", D | M},
    {PsRe::COPIES_ROLL, R"re(Copies\s+\d+\s+-?\d+\s+roll)re", A | C},
    {PsRe::SIGNATURE_DIMENSIONS, R"re(\[\s*(\d+(?:\.\d*)?)\s+(\d+(?:\.\d*)?)\s*\])re", 0},
    {PsRe::BROTHER_GRAY, R"re(<<[^>]*BRProcessColor\s+1[^>]*>>\s*setpagedevice)re", D},
    {PsRe::PROCESS_COLOR_GRAY, R"re(ProcessColorModel[\s\(\/]*DeviceGray)re", A | D | C},
    {PsRe::PROCESS_COLOR_GRAY_PROC,
     R"re(\{\s*<<\s*/ProcessColorModel\s*/DeviceGray\s*>>\s*setpagedevice\s*\})re", D | C},
    {PsRe::PROCESS_COLOR_GRAY_FEATURE,
     R"re(featurebegin\s*\{\s*<<\s*/ProcessColorModel\s*/DeviceGray\s*>>\s*setpagedevice\s*\})re",
     D | C},
    {PsRe::KYOCERA_SEM, R"re(!R!\s*SEM\s*\d+\s*;EXIT;)re", A},
    {PsRe::PJL_GRAYSCALE, R"re(@PJL SET GRAYSCALE\s*=\s*(COMPOSITE|ON|BLACKONLY|OFF))re", A},
    {PsRe::EXIF_DIMENSION, R"re(exif\s*:\s*(PixelXDimension|PixelYDimension)\s*=\s*"(\d+)")re", A},
    {PsRe::COLORMODEL_GRAY, R"re(ColorModel\s+(?:Gray|Black)\b)re", A | C},
    {PsRe::COLORMODEL_CMYK, R"re(%%BeginFeature:\s* \*\S{0,3}ColorModel CMYK\b)re", A},
    {PsRe::RICOH_HQCOLORMODE_FEATURE, R"re(\%\%BeginFeature:\s*\*HQColorMode\s+(\w+))re", A},
    {PsRe::KM_BOOKLET, R"re(\%\%BeginFeature:\s*\*KOLayout\s+Booklet)re", A},
    {PsRe::FIERY_BOOKLET, R"re(%%BeginFeature:\s*\*EFRIPBooklet\s+(\w+))re", A},
    {PsRe::UNIVERSAL_GRAYSCALE, R"re(%%BeginFeature:\s*colorbw\s+blackandwhite)re", A},
    {PsRe::FIERY_COLORMODE_DOC, R"re(%%BeginFeature:\s*\*EFColorMode\s+(\w+))re", A},
    {PsRe::FIERY_COLORMODE_RANGE,
     R"re(%%BeginFeature:\s*RangeProp(\d+)_\d+\s+EFColorMode\s*:?\s*(\w+))re", A},
    {PsRe::FIERY_RANGE, R"re(%%BeginFeature:\s*RangeNum(\d+)\s+([\d\s,\-]+))re", A},
    {PsRe::PAGE_RANGE, R"re((\d+)(?:-(\d+))?)re", 0},
    {PsRe::BOUNDING_BOX,
     R"re(%%(?:HiRes|Page)?BoundingBox:\s*(-?\d+\.?\d*\s+-?\d+\.?\d*\s+\d+\.?\d*\s+\d+\.?\d*))re",
     A | C},
    {PsRe::DOCUMENT_MEDIA, R"re(%%DocumentMedia:\s*\w+\s+(\d+)\s+(\d+)\s+\d+)re", A | C},
    {PsRe::RICOH_HQCOLORMODE_DICT, R"re(<<\s*/HQColorMode\s+(\d)\s+>>\s*setpagedevice)re", A},
    {PsRe::BOUNDING_BOX_NUMBERS, R"re(\s*(-?\d+)\.?\d*\s+(-?\d+)\.?\d*\s+(\d+)\.?\d*\s+(\d+)\.?\d*)re",
     A | C},
    {PsRe::GSPS_CREATOR, R"re(%%Creator:\s+GSPS\b)re", A},
    {PsRe::DR_COLOR, R"re((\d+\.?\d*)\s+(\d+\.?\d*)\s+(\d+\.?\d*)\s+r\b)re", A | C},
    {PsRe::SCOL, R"re((\d+\.?\d*)\s+(\d+\.?\d*)\s+(\d+\.?\d*)\s+\d+\s+(?:scol|setcolor)\b)re", C},
    {PsRe::COLR, R"re(([\-\d\.]+)\s+([\-\d\.]+)\s+([\-\d\.]+)\s+colr\b)re", A},
    // Three binary-encoded reals: any byte may stand between the markers.
    {PsRe::BINARY_SCOL, R"re(\x8B.{4}\x8B.{4}\x8B.{4}.{5,6}scol\b)re", A | C | D},
    {PsRe::SCL, R"re((\d+\.?\d*)\s+(\d+\.?\d*)\s+(\d+\.?\d*)\s+(?:scl|setcolor|sc)\b)re", A | C},
    {PsRe::DEVICE_RGB_SC, R"re(\[\/DeviceRGB\]\s+cs\s+(\d+\.?\d*)\s+(\d+\.?\d*)\s+(\d+\.?\d*)\s+sc)re",
     A | C},
    {PsRe::CMYK, R"re(([\d\.]+)\s+([\d\.]+)\s+([\d\.]+)\s+([\d\.]+)\s+(?:cmyk|setcmykcolor)\b)re", A},
    {PsRe::DEVICE_CMYK_SC,
     R"re(\[\/DeviceCMYK\]\s+cs\s+(\d+\.?\d*)\s+(\d+\.?\d*)\s+(\d+\.?\d*)\s+\d+\.?\d*\s+sc)re", A | C},
    {PsRe::RGB_VECTOR, R"re(([\d\.]+)\s+([\d\.]+)\s+([\d\.]+)\s+(?:SC|setrbgcolor|rgb|setrgbcolor)\b)re",
     A | C},
    {PsRe::BRACKET_SC, R"re(\[\s*([\d\.]+)\s+([\d\.]+)\s+([\d\.]+)\s*\]\s*sc\b)re", C},
    {PsRe::RG, R"re(([\d\.]+)\s+([\d\.]+)\s+([\d\.]+)\s+rg\b)re", A},
    {PsRe::CREATE_RGB_COLOR,
     R"re(([\d\.]+)\s+([\d\.]+)\s+([\d\.]+)\s+create_rgb_color\s+(set_solid_fill|set_outline))re", 0},
    {PsRe::EMPTY_SHOW, R"re((?:\(\s*\)\s*S|<01>\s*S))re", A},
    {PsRe::VISIBLE_SHOW, R"re(\(\S+\)\s*S)re", A},
    {PsRe::VISIBLE_XSHOW, R"re(\(\S+\)\s*\[[\s\d]+\]\s*xS)re", A},
    {PsRe::NAMED_COLOR,
     R"re(/Name\s*?\((.*?)\).*?/TintMethod.*?/TintProc.*?/NComponents\s*?(\d).*?/ColorLookup\s*?\[\s*?\[(.*?)\]\s*?\[(.*?)\])re",
     A | D},
    {PsRe::FOUR_NUMBERS, R"re(([\d\.e-]+)\s+([\d\.e-]+)\s+([\d\.e-]+)\s+([\d\.e-]+))re", D | C},
    {PsRe::THREE_NUMBERS, R"re(([\d\.e-]+)\s+([\d\.e-]+)\s+([\d\.e-]+))re", D | C},
    {PsRe::CSA_ADD, R"re(/(\d+)\s+\[/Device(Gray|CMYK|RGB)\]\s*/CSA\s+add_res\b)re", D | M},
    {PsRe::CSA_GET, R"re(/(\d+)\s+\/CSA\s+get_res\s+setcolorspace)re", D | M},
    {PsRe::EMPTY_TJ, R"re(\(\s*\)\s*\[[\d\s\.]+\]\s*Tj)re", D | M},
    {PsRe::OBJECT_REFERENCE, R"re((?<!\w)(\d+)\s+0\s+R(?!\w))re", D | M},
    {PsRe::PATTERN_REFERENCE, R"re(/Pattern\s+(\d+)\s+0\s+R(?!\w))re", A | D},
    {PsRe::STREAM_RG, R"re((\d*\.?\d+)\s+(\d*\.?\d+)\s+(\d*\.?\d+)\s+rg)re", C},
    {PsRe::STREAM_K, R"re((\d*\.?\d+)\s+(\d*\.?\d+)\s+(\d*\.?\d+)\s+(\d*\.?\d+)\s+k\b)re", C},
    {PsRe::PALETTE_ENTRY, R"re(([[:xdigit:]]{2})([[:xdigit:]]{2})([[:xdigit:]]{2}))re", A},
    {PsRe::PALETTE_ENTRY_WORD, R"re(([[:xdigit:]]{2})([[:xdigit:]]{2})([[:xdigit:]]{2})\b)re", A},
    {PsRe::DECODE_ABBREVIATED, R"re(/D\s*\[\s*(.+?)\s*\])re", D},
    {PsRe::DECODE_EXPLICIT, R"re(/Decode\s*\[\s*([\s01]+?)\s*\])re", D},
    {PsRe::INLINE_DATA_1, R"re(/DS\s*\<~([^~]+)~\>)re", D | M},
    {PsRe::INLINE_DATA_3, R"re(/DS\s*\[\s*\<~([^~]+)~\>\s*\<~([^~]+)~\>\s*\<~([^~]+)~\>\s*\])re", D | M},
    {PsRe::INLINE_DATA_4,
     R"re(/DS\s*\[\s*\<~([^~]+)~\>\s*\<~([^~]+)~\>\s*\<~([^~]+)~\>\s*\<~([^~]+)~\>\s*\])re", D | M},
    {PsRe::IMAGEPROCARRAY_1,
     R"re(/imageprocarray\s*\[\s*/setup1binaryproc\s*/setup1asciiproc\s*/setup2binaryproc\s*/setup2asciiproc\s*/setup1binarydecodeproc\s*/setup1asciidecodeproc\s*\]\s*d)re",
     A | D},
    {PsRe::IMAGEPROCARRAY_2,
     R"re(/imageprocarray\s*\[\s*/setup1binaryproc\s*/setup1asciiproc\s*/setup2binaryproc\s*/setup2asciiproc\s*/setup3asciiproc\s*/setup4asciiproc\s*\]\s*d)re",
     A | D},
    {PsRe::JIMG, R"re(\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+(\d+)\s+(\d+)\s+Jimg)re", D},
    {PsRe::GSPS_LZ, R"re(\d\s+lz\s+[^\{])re", A},
    {PsRe::GSPS_J, R"re(\[[\d\s]+\][\d\s]{10,100}j\s+)re", A},
    {PsRe::COLORIMAGE,
     R"re(\d+\s+\d+\s+(\d+)\s*\[\s*-?\d+\s+-?\d+\s+-?\d+\s+-?\d+\s+-?\d+\s+-?\d+\s*\]\s*@X\s+false\s+(\d+)\s+colorimage)re",
     D | M},
    {PsRe::PLAIN_COLORIMAGE, R"re((true|false)\s+(\d)\s+colorimage)re", 0},
    {PsRe::DOCLUTIMAGE, R"re(doclutimage\s+[^\{]{4})re", A},
    {PsRe::DOCLUTIMAGE_2,
     R"re(:[\s\d]+(?:T|F)\s+(?:T|F)\s+(\d)\s+\[[\s+\d]*\]\s+(?:T|F)\s+X\s+\<([[:xdigit:]\s]+)\>\s+doclutimage\s+)re",
     A},
    {PsRe::CANON_IIMG,
     R"re(\d+\s+\d+\s+(\d+)\s+-?\d+\s+-?\d+\s+-?\d+\s+-?\d+\s+[TF]\s+[TF]\s+(\d+)\s+BI\s+Iimg)re", D},
    {PsRe::HEX_PALETTE, R"re(\<([[:xdigit:]\s]+)\>)re", D},
    {PsRe::CANON_AIMG, R"re((?:T|F)\s+(\d)\s+BI\s+Aimg\s+)re", 0},
    {PsRe::CANON_IMG, R"re(\s(I|M|J|Ak|Ik)img\s+[^\{])re", A},
    {PsRe::DONIMAGE_ASSUMED, R"re(doNimage\s+[^\{])re", A},
    {PsRe::BEGINJPEG, R"re(beginjpeg\s+[^\{])re", A},
    {PsRe::MAC_IMAGE, R"re(\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+j)re", D},
    {PsRe::PDF_IMAGE, R"re(((?:cs)?)\s*<<[^(?:>>)]*ImageType\s+[^(?:>>)]+>>\s*pdf_image\s+)re",
     A | D | C},
    {PsRe::DEVICE_GRAY, R"re(\/DeviceGray)re", A},
    {PsRe::DEVICE_RGB_OR_CMYK, R"re(\/Device(?:RGB|CMYK))re", A},
    {PsRe::CIE_BASED_A, R"re(\/CIEBasedA)re", A},
    {PsRe::BEGINBINARY_IMAGE, R"re(\>\>\s*%%BeginBinary:\s*\w+\s*(?:img|idximg))re", A | D | C},
    {PsRe::GRAY_GSAVE_HEADER, R"re(gsave % Image Header gsave.*dup\s+\/ColorSpace\s+\(GRAY\))re",
     A | D | C},
    {PsRe::BEGINIMAGE, R"re(currentdict\s+end\s+beginimage\s+)re", A},
    {PsRe::JDP, R"re([t|f]\s*\[([01\s]+)\]\s*(\d+)\s+(\d+)\s+(\d+)\s+jDP)re", 0},
    {PsRe::DATASOURCE, R"re(\/DataSource\s+(\w+)\s+ID\s+)re", A},
    {PsRe::PDFTOPS_ARRAY,
     R"re(1 array dup /ImData_(\d+)_0 exch def\s+(\d+)\s+array 1 index 0 2 index put)re", A | D | M},
    {PsRe::PDFTOPS_IMDATA, R"re(ImData_(\d+)_0\s+0\s+0\s+<<(.+?)>>\s+image)re", A | D | M},
    {PsRe::PDFTOPS_CHUNK, R"re(dup\s+(\d+)\s+<~(.*?)~>\s*put)re", D | M},
    {PsRe::DONIMAGE_1,
     R"re(\d+\s+\d+\s+(\d+)\s+\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+(?:T|F)\s+(?:T|F)\s+(\d+)\s*\[.*\]\s*(\S+)\s+X\s+doNimage)re",
     D},
    {PsRe::DONIMAGE_2,
     R"re(\d+\s+\d+\s+(\d+)\s+\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+(\S+)\s+(\S+)\s+(\d+)\s+beginimage\s+doNimage)re",
     D},
    {PsRe::DONIMAGE_3,
     R"re(\d+\s+\d+\s+(\d+)\s+\d+\s+\d+\s+\d+\s+\d+\s+\d+\s+(\S+)\s+(\S+)\s+(\S+)\s+load\s+beginimage\s+doNimage)re",
     D},
};

constexpr int ROW_COUNT = static_cast<int>(PsRe::COUNT);
static_assert(sizeof ROWS / sizeof ROWS[0] == ROW_COUNT, "one pattern per PsRe");

constexpr bool rows_in_order() {
  for (int i = 0; i < ROW_COUNT; ++i) {
    if (static_cast<int>(ROWS[i].id) != i) return false;
  }
  return true;
}
static_assert(rows_in_order(), "the pattern table is indexed by PsRe");

class CompiledPatterns {
 public:
  CompiledPatterns() {
    for (int i = 0; i < ROW_COUNT; ++i) compiled_[i] = regex_compile(ROWS[i].pattern, ROWS[i].options);
  }
  ~CompiledPatterns() {
    for (Regex* re : compiled_) regex_free(re);
  }
  CompiledPatterns(const CompiledPatterns&) = delete;
  CompiledPatterns& operator=(const CompiledPatterns&) = delete;
  [[nodiscard]] const Regex* get(PsRe id) const { return compiled_[static_cast<int>(id)]; }

 private:
  std::array<Regex*, ROW_COUNT> compiled_{};
};

}  // namespace

const Regex* ps_re(PsRe id) {
  static const CompiledPatterns patterns;
  return patterns.get(id);
}

const char* ps_re_text(PsRe id) { return ROWS[static_cast<int>(id)].pattern; }

bool ps_match(const Regex* re, const std::uint8_t* subject, std::uint64_t length, PsMatch* m) {
  if (re == nullptr) return false;
  constexpr int PAIRS = PsMatch::GROUPS;
  std::int64_t ovector[PAIRS * 3];
  for (std::int64_t& v : ovector) v = -1;
  int rc = 0;
  if (regex_exec(re, subject, length, ovector, PAIRS * 3, &rc) != 1) return false;
  if (ovector[1] <= ovector[0]) return false;
  if (m != nullptr) {
    m->subject = subject;
    for (int g = 0; g < PAIRS; ++g) {
      m->start[g] = ovector[2 * g];
      m->end[g] = ovector[2 * g + 1];
    }
  }
  return true;
}
