#include "foundation/serialize.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/os_file.h"
#include "foundation/serialize_format.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

using sw_test::read_file;
using sw_test::write_file;

class SerializeTest : public sw_test::TempDirTest {};

// Values that would break a naive line format.
const std::vector<std::string>& odd_values() {
  static const std::vector<std::string> values = {
      "",
      "plain",
      std::string(1023, 'a'),
      std::string(1100, 'b'),
      std::string(5000, 'c'),
      "two\nlines",
      "\n",
      "ends with a line feed\n",
      "line\n#END\nafter",
      "back\\slash and \\n literally",
      "trailing backslash\\",
      "ends with CR\r",
      "=starts with equals=",
      "#looks like a comment",
      "   leading blanks\t",
      "caf\xC3\xA9 \xE2\x82\xAC \x01\x7F\xFF",
  };
  return values;
}

TEST_F(SerializeTest, StoreRoundTripsEveryKindOfValue) {
  std::string path = path_of("values.dat");
  SerializeStore* out = nullptr;
  ASSERT_EQ(serialize_create(&out, path.c_str()), 1);
  const auto& values = odd_values();
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::string key = "k" + std::to_string(i);
    ASSERT_EQ(serialize_pack_str(out, key.c_str(), values[i].c_str()), 1);
  }
  std::tm date{};
  date.tm_year = 116;
  date.tm_mon = 2;
  date.tm_mday = 1;
  date.tm_hour = 9;
  date.tm_min = 5;
  date.tm_sec = 7;
  ASSERT_EQ(serialize_pack_int(out, "min", INT_MIN), 1);
  ASSERT_EQ(serialize_pack_int(out, "max", INT_MAX), 1);
  ASSERT_EQ(serialize_pack_double(out, "ratio", -2.5), 1);
  ASSERT_EQ(serialize_pack_boolean(out, "yes", 7), 1);
  ASSERT_EQ(serialize_pack_boolean(out, "no", 0), 1);
  ASSERT_EQ(serialize_pack_date(out, "when", &date), 1);
  ASSERT_EQ(serialize_close(out), 1);

  std::string text = read_file(path);
  EXPECT_EQ(text.rfind("# TV Serialize Data\n", 0), 0u);
  EXPECT_NE(text.find("\nwhen=20160301T09:05:07\n#END\n"), std::string::npos);

  SerializeStore* in = nullptr;
  ASSERT_EQ(serialize_open(&in, path.c_str()), 1);
  std::vector<char> buffer(8192);
  for (std::size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    std::string key = "k" + std::to_string(i);
    ASSERT_EQ(serialize_unpack_str(in, key.c_str(), buffer.data(), buffer.size()), 1);
    EXPECT_EQ(std::string(buffer.data()), values[i]);
  }
  int number = 0;
  double ratio = 0;
  int flag = -1;
  std::tm got{};
  got.tm_isdst = 42;
  EXPECT_EQ(serialize_unpack_int(in, "min", &number), 1);
  EXPECT_EQ(number, INT_MIN);
  EXPECT_EQ(serialize_unpack_int(in, "max", &number), 1);
  EXPECT_EQ(number, INT_MAX);
  EXPECT_EQ(serialize_unpack_double(in, "ratio", &ratio), 1);
  EXPECT_EQ(ratio, -2.5);
  EXPECT_EQ(serialize_unpack_boolean(in, "yes", &flag), 1);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(serialize_unpack_boolean(in, "no", &flag), 1);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(serialize_unpack_date(in, "when", &got), 1);
  EXPECT_EQ(got.tm_year, 116);
  EXPECT_EQ(got.tm_mon, 2);
  EXPECT_EQ(got.tm_mday, 1);
  EXPECT_EQ(got.tm_hour, 9);
  EXPECT_EQ(got.tm_min, 5);
  EXPECT_EQ(got.tm_sec, 7);
  EXPECT_EQ(got.tm_isdst, 42);  // other fields are left alone
  EXPECT_EQ(serialize_close(in), 1);
}

// Files written before values were escaped keep their backslashes; a value
// with a line feed is announced by a comment line such a reader skips.
TEST_F(SerializeTest, EscapingIsAnnouncedAndOldFilesReadLiterally) {
  std::string path = path_of("old.dat");
  write_file(path,
             "# TV Serialize Data\n"
             "doc=C:\\new\\table.txt\n"
             "#ESCAPED\n"
             "note=a\\nb\\\\n\n"
             "#END\n");
  SerializeStore* in = nullptr;
  ASSERT_EQ(serialize_open(&in, path.c_str()), 1);
  char value[64];
  ASSERT_EQ(serialize_unpack_str(in, "doc", value, sizeof value), 1);
  EXPECT_STREQ(value, "C:\\new\\table.txt");
  ASSERT_EQ(serialize_unpack_str(in, "note", value, sizeof value), 1);
  EXPECT_STREQ(value, "a\nb\\n");
  EXPECT_EQ(serialize_close(in), 1);

  SerializeStore* out = nullptr;
  ASSERT_EQ(serialize_create(&out, path.c_str()), 1);
  ASSERT_EQ(serialize_pack_str(out, "doc", "C:\\new"), 1);
  ASSERT_EQ(serialize_pack_str(out, "note", "x\ny"), 1);
  ASSERT_EQ(serialize_close(out), 1);
  EXPECT_EQ(read_file(path),
            "# TV Serialize Data\ndoc=C:\\new\n#ESCAPED\nnote=x\\ny\n#END\n");
}

TEST_F(SerializeTest, ReaderSkipsCommentsBlankLinesAndIndentation) {
  std::string path = path_of("loose.dat");
  write_file(path,
             "# TV Serialize Data\n"
             "\n"
             "# a comment\n"
             "\t  first=one\n"
             "   \n"
             "second=two\r\n"
             "third=a=b\n"
             "#END\n");
  SerializeStore* in = nullptr;
  ASSERT_EQ(serialize_open(&in, path.c_str()), 1);
  char value[64];
  ASSERT_EQ(serialize_unpack_str(in, "first", value, sizeof value), 1);
  EXPECT_STREQ(value, "one");
  ASSERT_EQ(serialize_unpack_str(in, "second", value, sizeof value), 1);
  EXPECT_STREQ(value, "two\r");
  ASSERT_EQ(serialize_unpack_str(in, "third", value, sizeof value), 1);
  EXPECT_STREQ(value, "a=b");
  EXPECT_EQ(serialize_close(in), 1);
}

TEST_F(SerializeTest, ReaderFailures) {
  struct Case {
    const char* what;
    const char* body;  // between the magic line and "#END"
    int result;
    const char* logged;
  };
  const Case cases[] = {
      {"other key", "c=1\n", 0, "Expected key, \"key\", but got \"c\""},
      {"no equals", "key 1\n", 0, "Unable to find \"=\" in serialize file for line: key 1"},
      {"lower-case boolean", "key=true\n", 0, "Boolean key, \"key\", has non-boolean value: \"true\""},
      {"too long for the buffer", "key=0123456789abcdef\n", 0, "Value string is too long"},
      {"short date", "key=2016\n", 0, "Unable to read date key"},
      {"end of file", "", 0, "Unable to read line from serialize file. errno="},
      {"number without digits", "key=abc\n", 1,
       "Could not parse an integer from serialize file, line: abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = path_of("bad.dat");
    write_file(path, std::string("# TV Serialize Data\n") + c.body);
    SerializeStore* in = nullptr;
    ASSERT_EQ(serialize_open(&in, path.c_str()), 1);
    int result = -1;
    std::string what = c.what;
    if (what == "lower-case boolean") {
      int flag = 0;
      result = serialize_unpack_boolean(in, "key", &flag);
    } else if (what == "short date") {
      std::tm t{};
      result = serialize_unpack_date(in, "key", &t);
    } else if (what == "number without digits") {
      int number = 5;
      result = serialize_unpack_int(in, "key", &number);
      EXPECT_EQ(number, 0);
    } else {
      char value[16];
      result = serialize_unpack_str(in, "key", value, sizeof value);
    }
    EXPECT_EQ(result, c.result);
    EXPECT_NE(log_text().find(c.logged), std::string::npos) << log_text();
    EXPECT_EQ(serialize_close(in), 0);  // and no "#END" either
  }
}

TEST_F(SerializeTest, OpenAndCreateFailuresAreReported) {
  SerializeStore* store = reinterpret_cast<SerializeStore*>(1);
  EXPECT_EQ(serialize_open(&store, path_of("missing.dat").c_str()), 0);
  EXPECT_EQ(store, nullptr);
  EXPECT_EQ(serialize_create(&store, path_of("no/such/dir/x.dat").c_str()), 0);
  EXPECT_EQ(store, nullptr);
  EXPECT_EQ(serialize_close(nullptr), 0);
  EXPECT_NE(log_text().find("Unable to open serialize file"), std::string::npos);
  EXPECT_NE(log_text().find("Unable to create serialize file"), std::string::npos);
}

TEST_F(SerializeTest, WritesReplaceTheFileWholeAndPrivately) {
  std::string path = path_of("settings.dat");
  write_file(path, "old contents");
  chmod(path.c_str(), 0666);
  SerializeStore* out = nullptr;
  ASSERT_EQ(serialize_create(&out, path.c_str()), 1);
  // Until the close, readers still see the previous file.
  EXPECT_EQ(read_file(path), "old contents");
  ASSERT_EQ(serialize_pack_str(out, "a", "b"), 1);
  ASSERT_EQ(serialize_close(out), 1);
  EXPECT_EQ(read_file(path), "# TV Serialize Data\na=b\n#END\n");
  EXPECT_EQ(files(), std::vector<std::string>{"settings.dat"});
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  chmod(path.c_str(), 0666);
  serialize_openup_permissions(path.c_str());
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A write that fails half way (here: the file-size limit) must leave the
// previous file as it was and no temporary file behind.
TEST_F(SerializeTest, FailedWriteKeepsThePreviousFile) {
  std::string path = path_of("job.dat");
  write_file(path, "previous");
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  SerializeStore* out = nullptr;
  ASSERT_EQ(serialize_create(&out, path.c_str()), 1);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  for (int i = 0; i < 4; ++i) (void)serialize_pack_str(out, "big", std::string(3000, 'x').c_str());
  int closed = serialize_close(out);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(closed, 0);
  EXPECT_EQ(read_file(path), "previous");
  EXPECT_EQ(files(), std::vector<std::string>{"job.dat"});
}

// A writer that dies between create and close leaves its temporary file;
// the next write into the directory removes it, but never the file of a
// writer that is still at work.
TEST_F(SerializeTest, TemporaryFilesOfDeadWritersGoOnTheNextWrite) {
  const std::string crashed = path_of("crashed.dat");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SerializeStore* out = nullptr;
    if (serialize_create(&out, crashed.c_str()) == 1) {
      (void)serialize_pack_str(out, "a", "b");
      std::fflush(out->stream);
    }
    _exit(0);  // no close: the temporary file stays
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(files().size(), 1u) << "the dead writer's temporary file";

  const std::string busy_path = path_of("busy.dat");
  const std::string next_path = path_of("next.dat");
  SerializeStore* busy = nullptr;  // a live writer of another file
  ASSERT_EQ(serialize_create(&busy, busy_path.c_str()), 1);
  SerializeStore* next = nullptr;
  ASSERT_EQ(serialize_create(&next, next_path.c_str()), 1);
  ASSERT_EQ(serialize_pack_str(next, "a", "b"), 1);
  ASSERT_EQ(serialize_close(next), 1);
  EXPECT_EQ(files().size(), 2u) << "next.dat and the live writer's temporary file";
  ASSERT_EQ(serialize_pack_str(busy, "c", "d"), 1);
  ASSERT_EQ(serialize_close(busy), 1);
  EXPECT_EQ(files(), (std::vector<std::string>{"busy.dat", "next.dat"}));
  EXPECT_FALSE(sw_test::exists(crashed));
}

// The store keeps its own copy of the target's path: a caller's buffer that
// changes (or goes) between create and close must not redirect the write.
TEST_F(SerializeTest, TheTargetIsThePathGivenAtCreate) {
  char path[OS_PATH_BUFFER_SIZE];
  std::snprintf(path, sizeof path, "%s", path_of("target.dat").c_str());
  SerializeStore* out = nullptr;
  ASSERT_EQ(serialize_create(&out, path), 1);
  std::snprintf(path, sizeof path, "%s", path_of("elsewhere.dat").c_str());
  ASSERT_EQ(serialize_pack_str(out, "a", "b"), 1);
  ASSERT_EQ(serialize_close(out), 1);
  EXPECT_EQ(files(), std::vector<std::string>{"target.dat"});
}

TEST(SerializeFormatTest, NumbersAndDates) {
  struct IntCase {
    const char* text;
    bool ok;
    int value;
  };
  const IntCase ints[] = {
      {"12", true, 12},           {" \t-7x", true, -7},          {"+3", true, 3},
      {"007", true, 7},           {"abc", false, 0},             {"", false, 0},
      {"-", false, 0},            {"99999999999999999999", true, INT_MAX},
      {"-99999999999999999999", true, INT_MIN},                  {"2147483647", true, INT_MAX},
      {"-2147483648", true, INT_MIN},
  };
  for (const IntCase& c : ints) {
    SCOPED_TRACE(c.text);
    int value = 0;
    EXPECT_EQ(serialize_parse_int(c.text, &value), c.ok);
    if (c.ok) { EXPECT_EQ(value, c.value); }
  }
  double d = 0;
  EXPECT_TRUE(serialize_parse_double(" 2.500000", &d));
  EXPECT_EQ(d, 2.5);
  EXPECT_FALSE(serialize_parse_double("nan", &d));
  EXPECT_FALSE(serialize_parse_double("inf", &d));
  EXPECT_FALSE(serialize_parse_double("1e999", &d));

  struct DateCase {
    const char* text;
    int count;
  };
  const DateCase dates[] = {
      {"20160301T09:05:07", 6}, {"20160301T09:05", 5}, {"20160301 09:05:07", 3},
      {"2016", 1},              {"x", 0},              {"20160301T09:05:07Z", 6},
  };
  for (const DateCase& c : dates) {
    SCOPED_TRACE(c.text);
    int fields[6] = {};
    EXPECT_EQ(serialize_parse_date(c.text, fields), c.count);
  }
  int fields[6] = {};
  ASSERT_EQ(serialize_parse_date("19991231T23:59:58", fields), 6);
  EXPECT_EQ(fields[0], 1999);
  EXPECT_EQ(fields[2], 31);
  EXPECT_EQ(fields[5], 58);
}

TEST(SerializeFormatTest, EscapingRoundTrips) {
  for (const std::string& value : odd_values()) {
    std::string escaped = serialize_escape_value(value);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(serialize_unescape_value(escaped), value);
  }
}

}  // namespace
