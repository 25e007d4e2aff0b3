// The patterns of the PJL header and trailer tables. "." never crosses a
// line feed here (no DOTALL), so a match stays on its own line.
#include "scan/pjl_tokens.h"

// Header rows: every one ignores case.
const std::array<PjlTokenPattern, PJL_HEADER_TOKENS> PJL_HEADER_PATTERNS = {{
    {R"re(@PJL SET QTY\s*=\s*(\d+))re", true},
    {R"re(@PJL SET COPIES\s*=\s*(\d+))re", true},
    {R"re(@PJL SET PAPER\s*=\s*(\w+))re", true},
    {R"re(@PJL SET DUPLEX\s*=\s*(ON|TOP|LEFT|RIGHT|BOTTOM))re", true},
    {R"re(@PJL SET DUPLEX\s*=\s*OFF)re", true},
    {R"re(@PJL.*?DUPLEX\s+ON)re", true},
    {R"re(@PJL SET PRINTONBACKSIDE\s*=\s*(ON|TRUE))re", true},
    {R"re(@PJL\s+SET\s+BINDING\s*=\s*SHORTEDGE)re", true},
    {R"re(@PJL\s+SET\s+PRINTAREA\s*=\s*INKEDAREA)re", true},
    {R"re(@PJL SET RENDERMODE\s*=\s*(?:GRAYSCALE|TRUEBLACK))re", true},
    {R"re(@PJL SET PLANESINUSE\s*=\s*1\b)re", true},
    {R"re(@PJL SET RENDERMODE\s*=\s*(COLOR|AUTO))re", true},
    {R"re(@PJL SET PAPERLENGTH\s*=\s*(\d+))re", true},
    {R"re(@PJL SET PAPERWIDTH\s*=\s*(\d+))re", true},
    {R"re(@PJL SET OKIXDIMENSIONMILLIMETER\s*=\s*(\d+))re", true},
    {R"re(@PJL SET OKIYDIMENSIONMILLIMETER\s*=\s*(\d+))re", true},
    {R"re(@PJL SET (COLORMODE|DATAMODE)\s*=\s*(MONO|GRAYSCALE|BW))re", true},
    {R"re(@PJL SET (COLORMODE|DATAMODE)\s*=\s*COLOR)re", true},
    {R"re(@PJL SET OKIMONOPRINTSPEED\s*=\s*.*?MONO)re", true},
    {R"re(@PJL XCPT\s*<\s*copies.*?>(\d+)\s*</copies>)re", true},
    {R"re(@PJL COMMENT DSSC PRINT RENDERMODE\s*=\s*GRAYSCALE)re", true},
    {R"re(@PJL SET RENDERMODEL\s*=\s*CMYK)re", true},
    {R"re(@PJL XCPT\s*<\s*color-effects-type.*?>\s*monochrome-grayscale\s*</color-effects-type>)re",
     true},
    {R"re(@PJL SET KCOLORMODE\s*=\s*MONO)re", true},
    {R"re(@PJL COMMENT DSSC PRINT RENDERMODE\s*=\s*(COLOR|AUTO))re", true},
    {R"re(@PJL SET GRAYSCALE\s*=\s*(COMPOSITE|ON|BLACKONLY))re", true},
    {R"re(@PJL SET GRAYSCALE\s*=\s*OFF)re", true},
    {R"re(@PJL (?:SET JOBNAME|JOB NAME)\s*=\s*"(.+?)")re", true},
    {R"re(@PJL COMMENT CANPJL SET DOCNAME\s*=\s*"(.+?)")re", true},
    {R"re(@PJL\s+SET\s+DRIVERNAME\s*=\s*"(.+?)")re", true},
    // The model is the text before a parenthesised version number.
    {R"re(@PJL\s+COMMENT\s+"(.{5,100}?)\s*\([\.0-9]+\).{5,100}?")re", true},
    {R"re(@PJL OKIAUXJOBINFO\s+DATA\s*=\s*MultiPage\s*=\s*(\d+))re", true},
    {R"re(@PJL SET GLVERSION\s*=\s*(\d+)\.(\d+))re", true},
}};

// Trailer rows: only the first ignores case.
const std::array<PjlTokenPattern, PJL_TRAILER_TOKENS> PJL_TRAILER_PATTERNS = {{
    {R"re(@PJL PAGECOUNTER\s*=\s*"(\d+)")re", true},
    {R"re(@PJL\s+COMMENT\s+PREPRINTINFO\s*:\s*QTY\s*=\s*(\d+))re", false},
    {R"re(@PJL\s+COMMENT\s+PREPRINTINFO\s*:\s*DUPLEX\s*=\s*(\w+))re", false},
    {R"re(@PJL\s+COMMENT\s+PREPRINTINFO\s*:\s*PRINTPAGES\s*=\s*(\d+))re", false},
    {R"re(@PJL\s+COMMENT\s+PREPRINTINFO\s*:\s*MULTIPAGE\s*=\s*(\d+))re", false},
    {R"re(@PJL\s+COMMENT\s+PREPRINTINFO\s*:\s*RENDERMODE\s*=\s*(\w+))re", false},
}};

PjlHeaderTokens* pjl_header_tokens() {
  static PjlHeaderTokens tokens;
  static const bool loaded = tokens.load();
  if (!loaded) return nullptr;
  tokens.reset();
  return &tokens;
}

PjlTrailerTokens* pjl_trailer_tokens() {
  static PjlTrailerTokens tokens;
  static const bool loaded = tokens.load();
  if (!loaded) return nullptr;
  tokens.reset();
  return &tokens;
}
