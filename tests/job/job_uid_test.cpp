// Job uids: the SHA-1 digest of the documented text, checked against the
// system's sha1sum, and the week that keeps a job's uid stable.
#include "job/job_uid.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "foundation/ja.h"
#include "job_test_support.h"

namespace {

// The digest of `text` as sha1sum prints it.
std::string sha1sum(const std::string& text) {
  sw_test::TempDir dir;
  sw_test::write_file(dir / "text", text);
  const std::string command = "sha1sum < '" + (dir / "text") + "'";
  FILE* pipe = popen(command.c_str(), "r");
  char out[64] = {};
  if (pipe == nullptr) return "";
  if (std::fgets(out, sizeof out, pipe) == nullptr) out[0] = '\0';
  pclose(pipe);
  return std::string(out).substr(0, 40);
}

JobAttribsPtr job(int year, int yday, int mon, int mday) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  ja->submit_time = std::tm{};
  ja->submit_time.tm_year = year - 1900;
  ja->submit_time.tm_yday = yday;
  ja->submit_time.tm_mon = mon - 1;
  ja->submit_time.tm_mday = mday;
  ja->submit_time.tm_hour = 14;
  ja->submit_time.tm_min = 5;
  ja->submit_time.tm_sec = 9;
  std::snprintf(ja->job_id, sizeof ja->job_id, "%s", "42");
  std::snprintf(ja->server_name, sizeof ja->server_name, "%s", "printhost");
  std::snprintf(ja->printer_name, sizeof ja->printer_name, "%s", "lab");
  std::snprintf(ja->username, sizeof ja->username, "%s", "alice");
  return ja;
}

TEST(JobUid, DigestsOfTheDocumentedTextsMatchSha1sum) {
  auto ja = job(2025, 61, 3, 3);  // 3 March 2025, day 61 of the year, week 8
  char uid[JA_UID_SIZE];
  ASSERT_EQ(analyzer_build_job_uid_with_estimated_time(uid, sizeof uid, ja.get()), 1);
  EXPECT_EQ(std::string(uid), sha1sum("2025-08-42-printhost-lab-alice"));
  ASSERT_EQ(analyzer_build_job_uid(uid, sizeof uid, ja.get()), 1);
  EXPECT_EQ(std::string(uid), sha1sum("20250303T140509-42-printhost-lab-alice"));
}

TEST(JobUid, SameWeekSameUidNextWeekAnother) {
  struct Case {
    int yday_a;
    int yday_b;
    bool same;
  };
  // 6 and 8 January are days 5 and 7 counted from 0: weeks 0 and 1.
  const Case cases[] = {{0, 6, true}, {5, 7, false}, {7, 13, true}, {363, 364, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.yday_a);
    char a[JA_UID_SIZE];
    char b[JA_UID_SIZE];
    ASSERT_EQ(analyzer_build_job_uid_with_estimated_time(a, sizeof a, job(2024, c.yday_a, 1, 1).get()), 1);
    ASSERT_EQ(analyzer_build_job_uid_with_estimated_time(b, sizeof b, job(2024, c.yday_b, 1, 1).get()), 1);
    EXPECT_EQ(std::string(a) == std::string(b), c.same);
  }
}

TEST(JobUid, LongFieldsAreCutBeforeDigestingAndSmallBuffersRefused) {
  auto ja = job(2025, 61, 3, 3);
  const std::string long_user(900, 'u');
  std::snprintf(ja->username, sizeof ja->username, "%s", long_user.c_str());
  char uid[JA_UID_SIZE];
  ASSERT_EQ(analyzer_build_job_uid_with_estimated_time(uid, sizeof uid, ja.get()), 1);
  EXPECT_EQ(std::string(uid),
            sha1sum(("2025-08-42-printhost-lab-" + long_user).substr(0, JOB_UID_TEXT_MAX)));
  char small[40] = "untouched";
  EXPECT_EQ(analyzer_build_job_uid(small, sizeof small, ja.get()), 0);
  EXPECT_STREQ(small, "");
}

}  // namespace
