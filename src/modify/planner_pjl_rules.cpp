// The PJL planner's rule tables. Each row rewrites one PJL variable; the
// value pattern is a regular expression, the replacement the value written.
#include "modify/planner_pjl.h"

const substitution_rule substitution_rules_copies[] = {
    {"QTY", "SET QTY", "\\d+", "%d", 0},
    {"COPIES", "SET COPIES", "\\d+", "%d", 1},
};
const std::size_t substitution_rules_copies_count = std::size(substitution_rules_copies);

const substitution_rule substitution_rules_duplex[] = {
    {"DUPLEX", "SET DUPLEX", "OFF", "ON", 0},
    {"DUPLEX_BINDING", "SET BINDING", "LONGEDGE", "LONGEDGE", 0},
    {"TOSHIBA_DUPLEX", "COMMENT DSSC PRINT DUPLEX", "0", "1", 1},
    {"RICOH DUPLEX NUP", "SET PRINTINFO", "\"DUPLEX_NUP=00000000/(.*?)\"",
     "\"DUPLEX_NUP=00000001/\\2\"", 1},
};
const std::size_t substitution_rules_duplex_count = std::size(substitution_rules_duplex);

const association_rule association_rules_duplex[] = {{"DUPLEX", "DUPLEX_BINDING"}};
const std::size_t association_rules_duplex_count = std::size(association_rules_duplex);

// RENDERMODE also takes AUTOCOLOR, which PDF printers' PPDs write for their
// colour default. SELECTCOLORK keeps the black plane on: turning it off with
// the colour planes would leave nothing to print.
const substitution_rule substitution_rules_grayscale[] = {
    {"RENDERMODE_COLOR", "SET RENDERMODE", "(?:AUTOCOLOR|COLOR|AUTO)", "GRAYSCALE", 0},
    {"RENDERMODE_CMYK1B", "SET RENDERMODE", "CMYK1B", "G1", 1},
    {"DATAMODE_COLOR", "SET DATAMODE", "(?:COLOR|AUTO)", "GRAYSCALE", 0},
    {"COLORMODE_COLOR_AUTO", "SET COLORMODE", "(?:COLOR|AUTO)", "BW", 0},
    {"PLANESINUSE_3_4", "SET PLANESINUSE", "(?:3|4)", "1", 0},
    {"KCOLORMODE_COLOR_AUTO", "SET KCOLORMODE", "(?:COLOR|AUTO)", "MONO", 0},
    {"AUTHCOLORMODE", "SET AUTHCOLORMODE", "ON", "OFF", 1},
    {"DRIVERCOLORSELECT", "SET DRIVERCOLORSELECT", "(?:COLOR|AUTO)", "GRAYSCALE", 1},
    {"RENDERMODEL CMYK?B", "SET RENDERMODEL", "CMYK\\dB", "G4", 0},
    {"SRCCOLORCONV", "SET SRCCOLORCONV", "ON", "OFF", 0},
    {"SET GRAYSCALE", "SET GRAYSCALE", "OFF", "ON", 0},
    {"SET LCOLORMODEL", "SET LCOLORMODEL", "CMYK", "BLACK", 0},
    {"SET SELECTCOLORC", "SET SELECTCOLORC", "ON", "OFF", 0},
    {"SET SELECTCOLORM", "SET SELECTCOLORM", "ON", "OFF", 0},
    {"SET SELECTCOLORY", "SET SELECTCOLORY", "ON", "OFF", 0},
    {"SET SELECTCOLORK", "SET SELECTCOLORK", "OFF", "ON", 1},
    {"TOSHIBA_COLOR", "COMMENT DSSC PRINT RENDERMODE", "(?:COLOR|AUTO)", "GRAYSCALE", 1},
    {"FX_COLOR", "COMMENT FXJOBINFO COLORMODE", "(?:COLOR|AUTO)", "GRAYSCALE", 1},
    {"BROTHER COLORADAPT", "SET COLORADAPT", "ON", "OFF", 1},
    {"FX DOCUCENTER CRGU", "SET JOBATTR", "\"@GRGU=TEXTGRAPHICS\"", "\"@GRGU=OFF\"", 0},
};
const std::size_t substitution_rules_grayscale_count = std::size(substitution_rules_grayscale);
