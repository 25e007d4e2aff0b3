// Printer error bits and states as texts, and dotted object identifiers.
#include <gtest/gtest.h>

#include <string>

#include "foundation/config.h"
#include "hwcheck/snmp_oid.h"
#include "hwcheck/snmp_text.h"

namespace {

std::string error_text(std::uint8_t b0, std::uint8_t b1, bool with_none_text) {
  const std::uint8_t bits[2] = {b0, b1};
  char text[SNMP_ERROR_TEXT_SIZE];
  if (with_none_text) {
    snmp_convert_printererror_to_str2(text, sizeof text, bits);
  } else {
    snmp_convert_printererror_to_str(text, sizeof text, bits);
  }
  return text;
}

TEST(SnmpText, ErrorBitsReadInTableOrder) {
  struct Case {
    std::uint8_t b0, b1;
    const char* text;
  };
  const Case cases[] = {
      // hrPrinterDetectedErrorState "c000", as snmpsim's "4x|c000" serves it.
      {0xC0, 0x00, "Low Paper|No Paper"},
      {0x00, 0x00, "<No Error>"},
      {0x04, 0x08, "Jammed|Output Full"},
      {0x01, 0x80, "Service Requested|Input Tray Missing"},
      // The last bit of the second byte is no error of the table.
      {0x00, 0x01, "<No Error>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(error_text(c.b0, c.b1, true), c.text);
  }
  EXPECT_EQ(error_text(0, 0, false), "");
}

TEST(SnmpText, EveryBitSurvivesTextAndBack) {
  for (int byte = 0; byte < 2; ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      std::uint8_t given[2] = {0, 0};
      given[byte] = static_cast<std::uint8_t>(1u << bit);
      const std::string text = error_text(given[0], given[1], false);
      if (text.empty()) continue;  // no text for this bit
      std::uint8_t back[2] = {0xFF, 0xFF};
      snmp_convert_str_to_printerror(text.c_str(), back);
      EXPECT_EQ(back[0], given[0]) << text;
      EXPECT_EQ(back[1], given[1]) << text;
    }
  }
}

TEST(SnmpText, DefaultIgnoredErrorsAndMasking) {
  SessionContext ctx{};
  config_init_session_defaults(&ctx);
  std::uint8_t ignore[2];
  snmp_convert_str_to_printerror(ctx.hwcheck_ignore_errors, ignore);
  EXPECT_EQ(ignore[0], 0xB1);
  EXPECT_EQ(ignore[1], 0x36);
  // Any separator works, and texts that are no error are skipped.
  std::uint8_t listed[2];
  snmp_convert_str_to_printerror("Jammed, Door Open; Bananas", listed);
  EXPECT_EQ(listed[0], 0x0C);
  EXPECT_EQ(listed[1], 0x00);
  // No Toner is ignored by default; Jammed is not.
  const std::uint8_t given[2] = {0x14, 0x00};
  std::uint8_t left[2];
  snmp_mask_error(ignore, given, left);
  EXPECT_EQ(left[0], 0x04);
  EXPECT_EQ(left[1], 0x00);
}

TEST(SnmpText, StatusNames) {
  EXPECT_STREQ(snmp_convert_printerstatus_to_str(3), "Idle");
  EXPECT_STREQ(snmp_convert_printerstatus_to_str(5), "Warmup");
  EXPECT_STREQ(snmp_convert_printerstatus_to_str(0), "Unknown Printer Status");
  EXPECT_STREQ(snmp_convert_printerstatus_to_str(6), "Unknown Printer Status");
  EXPECT_STREQ(snmp_convert_devicestatus_to_str(5), "Down");
  EXPECT_STREQ(snmp_convert_devicestatus_to_str(-1), "Unknown Device Status");
}

TEST(SnmpOid, DottedTexts) {
  struct Case {
    const char* text;
    std::size_t length;  // 0: refused
  };
  const Case cases[] = {
      {"1.3.6.1.2.1.43.10.2.1.4.1.1", 13},
      {".1.3.6.1.2.1.1.2.0", 9},
      {"1.3.6.1.4.1.367.3.2.1.2.19.5.1.9.4294967295", 16},
      {"1.3.6.1.4.1.4294967296", 0},
      {"1", 0},
      {"", 0},
      {"1..3", 0},
      {"1.3.", 0},
      {"1.3.6.x", 0},
      {" 1.3.6", 0},
      {"1.3.-6", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SnmpOid o{};
    EXPECT_EQ(snmp_parse_oid_text(c.text, &o), c.length > 0 ? 1 : 0);
    EXPECT_EQ(o.length, c.length);
    if (c.length > 0) {
      char back[SNMP_OID_TEXT_SIZE];
      snmp_format_oid(snmp_oid_view(o), back, sizeof back);
      EXPECT_EQ(std::string(back), std::string(c.text[0] == '.' ? c.text + 1 : c.text));
    }
  }
  // 128 sub-identifiers fit, 129 do not.
  std::string longest = "1";
  for (int i = 1; i < 128; ++i) longest += ".4294967295";
  SnmpOid o{};
  EXPECT_EQ(snmp_parse_oid_text(longest, &o), 1);
  // A text cut to its buffer keeps whole sub-identifiers only.
  char cut[8];
  snmp_format_oid(snmp_oid_view(o), cut, sizeof cut);
  EXPECT_STREQ(cut, "1");
  EXPECT_EQ(snmp_parse_oid_text(longest + ".1", &o), 0);
}

}  // namespace
