// The fixed texts of the PostScript planner: the code blocks it inserts and
// the BeginFeature rules it runs (see planner_postscript.h). Data, not logic.
#include "modify/planner_postscript_tables.h"

const char* const PS_PREAMBLE_HEADER =
    "\n"
    "\n"
    "%!PS-Adobe-3.0\n"
    "%%\n"
    "%% Torvelle ZK attribute conversion\n"
    "%%\n"
    "%%\n";

const char* const WATERMARK_PS_PREAMBLE =
    "\n"
    "{\n"
    "userdict begin\n"
    "    /torvelle_watermark 20 dict def\n"
    "    torvelle_watermark begin\n"
    "        /LOCATION_BOTTOM 0 def\n"
    "        /LOCATION_TOP 1 def\n"
    "        /LOCATION_CUSTOM 2 def\n"
    "\n";

// The end-of-page hook keeps the page count and reason on the operand
// stack: defining them would fail in a read-only current dictionary.
const char* const WATERMARK_PS_POSTAMBLE =
    "\n"
    "\n"
    "        /toString {\n"
    "            128 string  cvs\n"
    "        } bind def\n"
    "\n"
    "        /copyString {\n"
    "            128 string copy\n"
    "        } bind def\n"
    "\n"
    "        /getNumFonts {  % -- getNumFonts -- number of fonts\n"
    "            /_num_fonts 0 def\n"
    "            (*) { pop /_num_fonts _num_fonts 1 add def } 128 string /Font resourceforall\n"
    "            _num_fonts\n"
    "        } bind def\n"
    "\n"
    "        /getFontArray { % -- getFontArray -- array of font names\n"
    "            /_font_array getNumFonts array def\n"
    "            /_i 0 def\n"
    "            (*) {\n"
    "                /_font_name exch def\n"
    "                _font_array _i _font_name copyString put\n"
    "                /_i _i 1 add def\n"
    "            } 128 string /Font resourceforall\n"
    "            _font_array\n"
    "        } bind def\n"
    "\n"
    "        /font_preferences [(Helvetica) (Arial) (Times-Roman) (Palatino) (Bookman) (Courier)] def\n"
    "\n"
    "        /selectDefaultFont { %  -- selectDefaultFont -- default_font (string)\n"
    "            /_font_list getFontArray def\n"
    "            /_default_font _font_list 0 get def\n"
    "            /_done false def\n"
    "            font_preferences {\n"
    "                /_font_name exch def\n"
    "                _font_list {\n"
    "                    /_a_font exch def\n"
    "                    _font_name _a_font eq {\n"
    "                        /_default_font _a_font def\n"
    "                        /_done true def\n"
    "                        exit\n"
    "                    } if\n"
    "                } forall\n"
    "                _done { exit } if\n"
    "            } forall\n"
    "            _default_font\n"
    "        } bind def\n"
    "\n"
    "\n"
    "        /dx 20 def\n"
    "        /dy 20 def\n"
    "\n"
    "        /getLocation { % -- getLocation -- x y\n"
    "            location LOCATION_BOTTOM eq {\n"
    "                /x llx dx add def\n"
    "                /y lly dy add def\n"
    "            } if\n"
    "            location LOCATION_TOP eq {\n"
    "                /x llx dx add def\n"
    "                /y ury dy sub font_size sub def\n"
    "            } if\n"
    "            location LOCATION_CUSTOM eq {\n"
    "                location_x 0 lt {\n"
    "                    /x page_width location_x add def\n"
    "                } {\n"
    "                    /x location_x  def\n"
    "                } ifelse\n"
    "                location_y 0 lt {\n"
    "                    /y page_height location_y add def\n"
    "                }  {\n"
    "                    /y location_y  def\n"
    "                } ifelse\n"
    "            } if\n"
    "            x y\n"
    "        } bind def\n"
    "\n"
    "        /doOutline {  % x y text -- doOutline --\n"
    "            /text exch def\n"
    "            /y exch def\n"
    "            /x exch def\n"
    "            1 setlinewidth\n"
    "            gray_level 0.99 gt {\n"
    "                0 setgray\n"
    "            } {\n"
    "                1 setgray\n"
    "            } ifelse\n"
    "            newpath x y moveto text true charpath stroke\n"
    "            0 setgray\n"
    "        } bind def\n"
    "\n"
    "       /doWatermark_ {\n"
    "           gsave\n"
    "           initmatrix\n"
    "           currentpagedevice /PageSize get aload pop /page_height exch def /page_width exch def \n"
    "           clippath pathbbox\n"
    "               /ury exch def\n"
    "               /urx exch def\n"
    "               /lly exch def\n"
    "               /llx exch def\n"
    "           %%%%% OKI %%%%%\n"
    "           do_oki_fonts {\n"
    "               {false /CompatibleFonts /ProcSet findresource /setenable get exec } stopped pop\n"
    "           } if\n"
    "           %%%%% OKI %%%%%\n"
    "           font_preferences {\n"
    "               {\n"
    "                   cvn font_size selectfont\n"
    "               } stopped not {\n"
    "                   getLocation /y exch def /x exch def\n"
    "                   x y watermark_text doOutline\n"
    "                   x y moveto\n"
    "                   gray_level setgray\n"
    "                   watermark_text show\n"
    "                   exit\n"
    "               } if\n"
    "           } forall\n"
    "           grestore\n"
    "       } bind def\n"
    "\n"
    "       /page_count 0 def\n"
    "\n"
    "       /doWatermark {\n"
    "          /page_count page_count 1 add def\n"
    "           max_watermark_pages 0 lt page_count max_watermark_pages le or {\n"
    "               doWatermark_\n"
    "           } if\n"
    "       } bind def\n"
    "\n"
    "       %% List of printers that require the showpage hook.\n"
    "       /sph_printers [(hp color Laserjet 3700) (GPL Ghostscript )] def\n"
    "       /needs_showpage_hook false def       {\n"
    "           sph_printers {\n"
    "               product exch eq {\n"
    "                   /needs_showpage_hook true def\n"
    "               } if\n"
    "           } forall\n"
    "       } stopped pop\n"
    "\n"
    "    end\n"
    "end\n"
    "\n"
    "/endPageHook { % count reason -- bool\n"
    "    %% The values stay on the stack: the current dictionary may be read-only.\n"
    "    exch pop\n"
    "    dup 0 eq {\n"
    "        userdict begin\n"
    "            torvelle_watermark begin\n"
    "                doWatermark\n"
    "            end\n"
    "        end\n"
    "    } if\n"
    "    0 eq\n"
    "} bind def\n"
    "\n"
    "torvelle_watermark /do_showpage_hook get\n"
    "torvelle_watermark /needs_showpage_hook get or {\n"
    "   /torvelle_showpage /showpage load def\n"
    "    /showpage {\n"
    "        userdict begin\n"
    "            torvelle_watermark begin\n"
    "                doWatermark\n"
    "            end\n"
    "        end\n"
    "        torvelle_showpage\n"
    "    } bind def\n"
    "} {\n"
    "   <<\n"
    "        /EndPage   { endPageHook } bind\n"
    "   >> setpagedevice\n"
    "} ifelse\n"
    "} stopped pop\n"
    "\n"
    "%%\n"
    "%% End of Torvelle watermarking code\n"
    "%%\n"
    "\n"
    "\n";

const char* const DUPLEX_PS_PREAMBLE =
    "\n"
    "\n"
    "%%\n"
    "%% Force duplex\n"
    "%%\n"
    "{ \n"
    "   << /Duplex true >> setpagedevice\n"
    "\n"
    "   /tv_setpagedevice1 where {\n"
    "      pop\n"
    "   } {\n"
    "       % Redefine setpagedevice to prevent duplex being turned off\n"
    "       /tv_setpagedevice1 /setpagedevice load def\n"
    "\n"
    "       /setpagedevice { % dict -- setpagedevice --\n"
    "           currentglobal exch false setglobal [ exch {\n"
    "\n"
    "           % If args dict contain /Duplex then remove it\n"
    "           dup /Duplex known {\n"
    "               dup /Duplex undef\n"
    "           } if\n"
    "\n"
    "           % Send the modified args dict to the original setpagedevice\n"
    "           tv_setpagedevice1\n"
    "           } stopped cleartomark setglobal\n"
    "\n"
    "       } bind def\n"
    "   } ifelse\n"
    "} stopped pop\n"
    "\n";

const char* const GRAYSCALE_PS_PREAMBLE =
    "\n"
    "%%\n"
    "%% Force grayscale\n"
    "%%\n"
    "{\n"
    "   <</ProcessColorModel /DeviceGray >> setpagedevice\n"
    "\n"
    "   /tv_setpagedevice2 where {\n"
    "       pop\n"
    "   } {\n"
    "       % Redefine setpagedevice to prevent a non-grayscale color space being installed\n"
    "       /tv_setpagedevice2 /setpagedevice load def\n"
    "\n"
    "       /setpagedevice { % dict -- setpagedevice --\n"
    "           currentglobal exch false setglobal [ exch {\n"
    "\n"
    "           % If args dict contain /ProcessColorModel then remove it\n"
    "           dup /ProcessColorModel known {\n"
    "               dup /ProcessColorModel undef\n"
    "           } if\n"
    "\n"
    "           % Send the modified args dict to the original setpagedevice\n"
    "           tv_setpagedevice2\n"
    "           } stopped cleartomark setglobal\n"
    "       } bind def\n"
    "   } ifelse\n"
    "} stopped pop\n"
    "\n"
    "\n";

const char* const COPIES_PS_PREAMBLE =
    "\n"
    "\n"
    "%%\n"
    "%% Set number copies\n"
    "%%\n";

const char* const COPIES_PS_POSTAMBLE =
    "\n"
    "\n"
    "{<< /NumCopies torvelle_copies >> setpagedevice\n"
    "<< /Collate true >> setpagedevice\n"
    "/#copies torvelle_copies def  %% Not sure how to do this\n"
    "\n"
    "% Redefine setpagedevice and /#copies to prevent num copies being changed\n"
    "/tv_setpagedevice3 /setpagedevice load def\n"
    "\n"
    "/setpagedevice { % dict -- setpagedevice --\n"
    "    currentglobal exch false setglobal [ exch {\n"
    "    \n"
    "    % If args dict contain /NumCopies then remove it\n"
    "    dup /NumCopies known {\n"
    "        dup /NumCopies undef\n"
    "    } if\n"
    "    dup /Collate known {\n"
    "        dup /Collate undef\n"
    "    } if\n"
    "\n"
    "    % Send the modified args dict to the original setpagedevice\n"
    "    tv_setpagedevice3\n"
    "    } stopped cleartomark setglobal\n"
    "\n"
    "} bind def\n"
    "} stopped pop\n"
    "\n";

const PsFeatureRule REPLACEMENT_RULES_DUPLEX[] = {
    {"legacy PPD duplex statusdict",
     "%%BeginFeature:\\s*\\*Duplex\\s+None\\s+?statusdict\\s+(.*?)\\s+end\\s+?%%EndFeature",
    "%%BeginFeature: *Duplex DuplexNoTumble\n"
    "statusdict begin true setduplexmode false settumble end\n"
    "%%EndFeature"},
    {"Splash duplex 1",
     "%%BeginFeature:\\s*?\\*Duplex\\s+?None\\s+?.*?\\/Duplex\\s+false.*?xerox\\$pagedevice\\s+?copy\\s+?pop\\s+?%%EndFeature",
    "%%BeginFeature: *Duplex DuplexNoTumble\n"
    "  <</Duplex true /Tumble false>> xerox$pagedevice copy pop\n"
    "%%EndFeature"},
    {"Splash duplex 3",
     "%%BeginFeature:\\s*?\\*Duplex\\s+?None\\s+?.*?\\/Duplex\\s+false.*?xerox\\$pagedevice\\s+where\\s+?%%EndFeature",
    "%%BeginFeature: *Duplex DuplexNoTumble\n"
    "  <</Duplex true /Tumble false>> xerox$pagedevice where%%EndFeature"},
    {"Splash duplex 2:  ApeosPort-.. C....",
     "%%BeginFeature:\\s*?\\*Duplex\\s+?None\\s+?userdict\\s+?\\/\\$\\$OEMPreConfigDict\\s+?known\\s+?\\{\\s+?userdict\\s+?\\/\\$\\$OEMPreConfigDict\\s+?get\\s+?\\/Duplex\\s+?2\\s+?copy\\s+?known\\s+?\\{\\s+?get\\s+?exec\\s+?false\\s+?\\}\\s*?\\{\\s+?pop\\s+?pop\\s+?true\\s+?\\}\\s+?ifelse\\s+?\\}\\s*?\\{\\s+?true\\s+?\\}\\s+?ifelse\\s+?\\{\\s+?1\\s+?dict\\s+?dup\\s+?\\/Duplex\\s+?false\\s+?put\\s+?setpagedevice\\s+?\\}\\s+?if\\s+?%%EndFeature",
    "%%BeginFeature: *Duplex DuplexNoTumble\n"
    "\n"
    "    userdict /$$OEMPreConfigDict known {\n"
    "        userdict /$$OEMPreConfigDict get /Duplex 2 copy known {\n"
    "            get exec false\n"
    "        }{\n"
    "            pop pop true\n"
    "        } ifelse\n"
    "    }{\n"
    "        true\n"
    "    } ifelse\n"
    "    {\n"
    "        2 dict dup /Duplex true put\n"
    "        dup /Tumble false put setpagedevice\n"
    "    } if\n"
    "\n"
    "%%EndFeature"},
    {"generic BeginFeature Duplex",
     "%%BeginFeature:\\s*\\*Duplex\\s+None",
    "%%BeginFeature: *Duplex DuplexNoTumble"},
    {"Fiery BeginFeature EFDuplex",
     "%%BeginFeature:\\s*?\\*EFDuplex\\s+?False\\s+?userdict\\s+\\/XJXEFIsetpageproperties\\s+known\\s*\\{\\s*<<\\s*/XJXsetduplex\\s*\\[\\s*false\\s*\\].*?%%EndFeature",
    "%%BeginFeature: *EFDuplex TopTop\n"
    "userdict /XJXEFIsetpageproperties known\n"
    "  { << /XJXsetduplex [ true ] /XJXsettumble [ false ] >> XJXEFIsetpageproperties }\n"
    "  { userdict /XJXsetduplex known\n"
    "    { true XJXsetduplex } { << /Duplex true >> setpagedevice } ifelse\n"
    "    userdict /XJXsettumble known\n"
    "    { false XJXsettumble } { << /Tumble false >> setpagedevice } ifelse\n"
    "  } ifelse\n"
    "%%EndFeature\n"},
    {"Fiery BeginFeature EFDuplex 2",
     "%%BeginFeature:\\s*?\\*EFDuplex\\s+?False\\s+?userdict\\s*\\/XJXsetduplex\\s+known\\s*\\{\\s*false\\s+XJXsetduplex\\s*\\}\\s*\\{\\s*<<\\s*\\/Duplex\\s+false\\s*>>\\s*setpagedevice\\s*\\}\\s*ifelse\\s+%%EndFeature",
    "%%BeginFeature: *EFDuplex TopTop\n"
    "  userdict /XJXsetduplex known\n"
    "{ true XJXsetduplex }\n"
    "{ << /Duplex true >> setpagedevice } ifelse\n"
    "  userdict /XJXsettumble known\n"
    "{ false XJXsettumble }\n"
    "{ << /Tumble false >> setpagedevice } ifelse\n"
    "%%EndFeature\n"},
    {"KM Binary PostScript",
     "%%BeginFeature:\\s*\\*Duplex\\s+None\\s*BF\\s*\\{\\s*&\\s*`\\s*f\\s+setduplexmode\\s+E\\s+\\}\\s*EF\\s*%%EndFeature",
    "%%BeginFeature: *Duplex DuplexNoTumble\n"
    "BF{\n"
    "  & ` t setduplexmode f settumble E\n"
    "}EF\n"
    "%%EndFeature\n"},
};
const std::size_t REPLACEMENT_RULES_DUPLEX_COUNT = sizeof REPLACEMENT_RULES_DUPLEX / sizeof REPLACEMENT_RULES_DUPLEX[0];

const PsFeatureRule REPLACEMENT_RULES_GRAYSCALE[] = {
    {"Gestetner color",
     "%%BeginFeature:\\s*\\*ColorModel\\s+CMYK\\s+?\\(cmyk\\)\\s*RCsetdevicecolor\\s+?%%EndFeature",
    "%%BeginFeature: *ColorModel Gray\n"
    "(gray) RCsetdevicecolor\n"
    "%%EndFeature"},
    {"Brother color",
     "%%BeginFeature:\\s*\\*BRPrintQuality\\s+(Color|Auto).+?%%EndFeature",
    "%%BeginFeature: *BRPrintQuality Black\n"
    "<</BRProcessColor 1>>setpagedevice\n"
    "<</BRColorAdapt false>>setpagedevice\n"
    "<</BRRenderMode true>>setpagedevice\n"
    "%%EndFeature"},
    {"FX color 2a",
     "%%BeginFeature:\\s*\\*FXColorMode\\s+(Color|Auto)",
    "%%BeginFeature: *FXColorMode Black\n"},
    {"FX color 2b",
     "1\\s+dict\\s+dup\\s+/ProcessColorModel\\s+/DeviceCMYK\\s+put\\s+setpagedevice",
    "1 dict dup /ProcessColorModel /DeviceGray put setpagedevice"},
    {"OK@ColorMono",
     "globaldict\\s+/OK@ColorMono\\s+2\\s+put",
    "globaldict /OK@ColorMono 1 put"},
    {"Ricoh color",
     "%%BeginFeature:\\s*\\*HQColorMode\\s+(COLOR|AUTO).+?%%EndFeature",
    "%%BeginFeature: *HQColorMode BW\n"
    "<< /HQColorMode 2 >> setpagedevice\n"
    "%%EndFeature"},
    {"KM color",
     "<<\\s*/KMColorSelect\\s+1\\s*>>\\s*/KMOptions\\s*/ProcSet\\s+resourcestatus\\s*\\{pop\\s*pop\\s*/KMOptions\\s*/ProcSet\\s+findresource\\s*/setKMoptions",
    "<</KMColorSelect 0>>/KMOptions /ProcSet resourcestatus {pop pop /KMOptions /ProcSet findresource /setKMoptions"},
    {"KM DriverColorSelect",
     "<<\\s*/DriverColorSelect\\s+0\\s*>>\\s*setpagedevice",
    "<</DriverColorSelect 1>>setpagedevice"},
    {"Toshiba TSBPrivate color",
     "<<\\s*/TSBPrivate\\s*\\(\\s*DSSC\\s+PRINT\\s+RENDERMODE\\s*=\\s*(COLOR|AUTO)\\s*\\)\\s*>>\\s*setpagedevice",
    "<</TSBPrivate (DSSC PRINT RENDERMODE=GRAYSCALE) >> setpagedevice"},
    {"Fiery BeginFeature EFColorMode",
     "%%BeginFeature:\\s*?\\*EFColorMode\\s+?CMYK\\s+?userdict\\s+\\/XJXEFIsetpageproperties\\s+known\\s*\\{\\s*<<\\s*/XJXsetcolormode\\s*\\[\\s*\\(CMYK\\)\\s*\\].*?%%EndFeature",
    " %%BeginFeature: *EFColorMode Grayscale\n"
    "\n"
    "userdict /XJXEFIsetpageproperties known\n"
    "{  << /XJXsetcolormode [ (Grayscale) ] >> XJXEFIsetpageproperties  }\n"
    "{  userdict /XJXsetcolormode known\n"
    "{ (Grayscale) XJXsetcolormode } if\n"
    "} ifelse\n"
    "%%EndFeature"},
};
const std::size_t REPLACEMENT_RULES_GRAYSCALE_COUNT = sizeof REPLACEMENT_RULES_GRAYSCALE / sizeof REPLACEMENT_RULES_GRAYSCALE[0];

const PsFeatureRule REPLACEMENT_RULES_COPIES[] = {
    {"BeginNonPPDFeature copies",
     "%%BeginNonPPDFeature:\\s*NumCopies\\s+\\d+",
    "%%%%BeginNonPPDFeature: NumCopies %d"},
};
const std::size_t REPLACEMENT_RULES_COPIES_COUNT = sizeof REPLACEMENT_RULES_COPIES / sizeof REPLACEMENT_RULES_COPIES[0];
