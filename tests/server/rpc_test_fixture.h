// A configured process talking to one stand-in application server; the
// configuration and the redirect state are put back after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/redirect_state.h"
#include "foundation/util.h"
#include "support/appserver_standin.h"
#include "support/test_support.h"

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    server_ = std::make_unique<sw_test::AppServerStandin>(dir_ / "server");
    ASSERT_TRUE(server_->running());
    point_at(server_->port());
    global_ctx.connect_timeout_ms = 2000;
    global_ctx.send_timeout_ms = 10000;
    global_ctx.process_job_connect_retries = 0;
    redirect_state_clear(&global_redirect_state);
  }
  void TearDown() override {
    server_.reset();
    redirect_state_clear(&global_redirect_state);
  }

  // Makes `port` on 127.0.0.1 the configured application server.
  static void point_at(int port) {
    util_safe_strncpy(global_ctx.app_server_name, "127.0.0.1", sizeof global_ctx.app_server_name);
    global_ctx.app_server_port = port;
  }

  // A job with every field the decision request sends.
  static JobAttribsPtr make_job() {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    ja->submit_time = sw_test::calendar_time(2024, 3, 5, 14, 7, 9);
    std::strcpy(ja->server_name, "printsrv");
    std::strcpy(ja->printer_name, "laser1");
    std::strcpy(ja->client_machine, "desk7");
    std::strcpy(ja->job_id, "42");
    ja->language = LANG_UNKNOWN;
    std::strcpy(ja->document_name, "report.pdf");
    std::strcpy(ja->username, "alice");
    ja->pages = 3;
    ja->copy_count = 2;
    ja->is_grayscale = 1;
    ja->is_duplex = 0;
    std::strcpy(ja->paper_size_name, "A4");
    ja->page_width_mm = 210;
    ja->page_height_mm = 297;
    ja->size_kb = 17;
    std::strcpy(ja->client_ip, "10.0.0.7");
    ja->color_pages = 1;
    ja->spooler_type = 1;
    ja->port_flag = 1;
    std::strcpy(ja->job_uid, "0123456789abcdef0123456789abcdef01234567");
    std::strcpy(ja->archive_path, "2024/03/05/14");
    return ja;
  }

  sw_test::ScopedGlobalContext context_;
  sw_test::TempDir temp_;
  const std::filesystem::path dir_{temp_.path()};
  std::unique_ptr<sw_test::AppServerStandin> server_;
};
