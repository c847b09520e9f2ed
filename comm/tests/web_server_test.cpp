// The web server over a real loopback connection: authentication, the pages
// and their tokens, posted fields, the message list's pager, and requests
// that are malformed or hostile.
#include <poll.h>

#include <string>
#include <vector>

#include "comm/tests/web_fixture.h"

namespace {

::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" not in:\n" << text.substr(0, 3000);
}

TEST_F(WebTest, AuthenticationIsRequiredAndTheAdministratorCommunityAccepted) {
  Start();
  const std::string none = Get("/index.html", "");
  EXPECT_EQ(401, Status(none));
  EXPECT_TRUE(Has(none, "WWW-Authenticate: Basic realm=\"Quorvantis\"\r\n"));

  const std::string ok = Get("/index.html");
  EXPECT_EQ(200, Status(ok));
  EXPECT_TRUE(Has(ok, "Content-Type: text/html"));
  EXPECT_TRUE(Has(Body(ok), "QUORVANTIS"));
}

TEST_F(WebTest, BadCredentialsAreRefused) {
  Start();
  const std::vector<std::string> headers = {
      Auth("wrong"),
      "Authorization: Basic " + Credentials("admin:administrator") + "\r\n",  // the user name must be empty
      "Authorization: Basic " + Credentials(":administratorX") + "\r\n",
      "Authorization: Basic " + Credentials(":administrato") + "\r\n",
      "Authorization: Basic abc\r\n",        // not whole groups
      "Authorization: Basic !!!!!!!!\r\n",   // outside the alphabet
      "Authorization: Basic YQ=a\r\n",       // padding in the middle
      "Authorization: Basic \r\n",
      "Authorization: Digest " + Credentials(":administrator") + "\r\n",
      "Authorization: Basic " + std::string(400, 'A') + "\r\n",  // longer than any credential
  };
  for (const std::string& h : headers) EXPECT_EQ(401, Status(Get("/index.html", h))) << h;
  // The password is the community as it is now.
  db_->SetString(nv::communityNameAdmin.offset, 4, "other", 5, db_->mib_nv, 0);
  EXPECT_EQ(401, Status(Get("/index.html")));
  EXPECT_EQ(200, Status(Get("/index.html", Auth("other"))));
}

TEST_F(WebTest, StatusPageTokensCarryMibValues) {
  Start();
  db_->SetValue(vol::dmsControlMode.offset, vol::dmsControlMode.width, 4, db_->mib_v, DB_NO_VALIDATE);
  const std::string page = Body(Get("/"));
  EXPECT_TRUE(Has(page, "Sign Status"));
  EXPECT_TRUE(Has(page, "<title>Quorvantis, Inc.</title>"));
  EXPECT_TRUE(Has(page, "quorstyle.css"));
  EXPECT_TRUE(Has(page, "var controlMode = 4;"));
  EXPECT_TRUE(Has(page, "\"Message Source: \""));
  EXPECT_TRUE(Has(page, "<a href=\"diag.html\">Diagnostics</a>"));
  EXPECT_EQ(std::string::npos, page.find("$%")) << "every token is replaced";
  // The expanded page stays as a file, which the server sent.
  EXPECT_EQ(page, FileText("index.html"));
  EXPECT_NE("<none>", FileText("preindex.html"));
}

TEST_F(WebTest, EachPageShowsItsContent) {
  Start();
  struct page {
    const char* target;
    std::vector<const char*> texts;
  };
  const std::vector<page> pages = {
      {"/message.html", {"Messaging", "Message #", "\"Run\"", "Blank Sign?", "invalid message number",
                         "$*1,3,6,1,4,1,1206,3,11,2,27,0,int,n#$", "action=\"/index.html\""}},
      {"/quick.html", {"Quick Message", "Page One:", "Page Two:", "Save Message", "HTTP User",
                       "action=\"/message.html?run=500\"", "$*1,3,6,1,4,1,1206,4,2,3,5,8,1,9,3,500,int,nv#$"}},
      {"/diag.html", {"Sign Diagnostics", "Pixel Test: ", "Activate Test", "Reload Page", "Reset Sign",
                      "$*1,3,6,1,4,1,1206,4,2,3,6,2,0,int,n#$"}},
      {"/view.html", {"View Message", "[GRAPHIC]"}},
      {"/MESSAGE.HTML", {"Messaging"}},
  };
  for (const page& p : pages) {
    const std::string answer = Get(p.target);
    EXPECT_EQ(200, Status(answer)) << p.target;
    for (const char* text : p.texts) EXPECT_TRUE(Has(Body(answer), text)) << p.target;
  }
  const std::string css = Get("/quorstyle.css");
  EXPECT_EQ(200, Status(css));
  EXPECT_TRUE(Has(css, "Content-Type: text/css"));
  EXPECT_TRUE(Has(Body(css), ".banner"));
}

TEST_F(WebTest, ViewPageTemplateIsMadeFromTheBuiltInCopyOnce) {
  Start();
  ASSERT_EQ("<none>", FileText("preview.html"));
  EXPECT_EQ(200, Status(Get("/view.html")));
  const std::string made = FileText("preview.html");
  uint32_t size = 0;
  const char* builtin = web_builtin("preview.html", &size);
  ASSERT_NE(nullptr, builtin);
  EXPECT_EQ(std::string(builtin, size), made);
  EXPECT_NE("<none>", FileText("view.html"));
}

TEST_F(WebTest, TemplateInTheFileSystemTakesPrecedence) {
  Start();
  // A page of the sign's own: an INT token, an IP token with commas, one of
  // an unknown object and one of the wrong type (both write nothing), and
  // an unclosed one kept as text.
  db_->SetValue(vol::dmsControlMode.offset, vol::dmsControlMode.width, 5, db_->mib_v, DB_NO_VALIDATE);
  db_->SetValue(vol::ipAdEntAddr.offset, 4, IP_ADDRESS(192, 168, 1, 10), db_->mib_v, DB_NO_VALIDATE);
  const std::string text =
      "<p>mode=$%1.3.6.1.4.1.1206.4.2.3.6.1.0,INT#$;"
      "up=$%1.3.6.1.2.1.1.3.0,int#$;"
      "ip=$%1,3,6,1,2,1,4,20,1,1,1,IP#$;"
      "none=$%1.3.6.1.4.1.99999.1.0,INT#$;"
      "wrong=$%1.3.6.1.4.1.1206.4.2.3.6.1.0,XYZ#$;"
      "end=$%1.2.3</p>";
  ASSERT_EQ(0, mon_tfsadd("prepage.html", nullptr, "", text.data(), static_cast<uint32_t>(text.size())));
  const std::string page = Body(Get("/page.html"));
  EXPECT_TRUE(Has(page, "<p>mode=5;up="));
  EXPECT_TRUE(Has(page, ";ip=-1062731510;none=;wrong=;end=$%1.2.3</p>"));
}

TEST_F(WebTest, PostedFieldChangesTheObjectBeforeThePageIsAnswered) {
  Start();
  ASSERT_EQ(1u, Nv(nv::quorDisplayMode));
  const std::string body = Part("$*1,3,6,1,4,1,1206,3,11,1,1,0,int,n#$", "10") + "--XyZ--\r\n";
  const std::string answer = Post("/diag.html", body);
  EXPECT_EQ(200, Status(answer));
  EXPECT_EQ(10u, Nv(nv::quorDisplayMode));
  EXPECT_TRUE(Has(Body(answer), "var displayMode = 10;"));

  // Fields apply in order; a field of an unknown type or object, or one the
  // object refuses, changes nothing and the rest still apply.
  const std::string mixed = Part("$*1,3,6,1,4,1,1206,3,11,1,1,0,int,n#$", "5") +
                            Part("$*1,3,6,1,4,1,1206,3,11,1,1,0,xyz,n#$", "7") +
                            Part("$*1,3,6,1,4,1,99999,1,0,int,n#$", "7") +
                            Part("$*1,3,6,1,4,1,1206,3,11,1,1,0,int,nv#$", "0") +  // outside 1..255
                            "--XyZ--\r\n";
  EXPECT_EQ(200, Status(Post("/diag.html", mixed)));
  EXPECT_EQ(5u, Nv(nv::quorDisplayMode));
}

TEST_F(WebTest, MessageListPagesThroughTheValidMessages) {
  Start();
  // 23 valid messages in slots 2, 4, 6, ...; other rows are not valid.
  for (uint32_t i = 0; i < 23; ++i) {
    const uint32_t s = 2 + 2 * i;
    db_->SetValue(nv::dmsMessageStatus(s).offset, 1, 4, db_->mib_nv, DB_NO_VALIDATE);
    const std::string multi = "MSG" + std::to_string(s + 1);
    db_->SetString(nv::dmsMessageMultiString(s).offset, 4, multi.data(), static_cast<uint32_t>(multi.size()),
                   db_->mib_nv, DB_NO_VALIDATE);
  }
  const std::string first = Body(Get("/list.html"));
  EXPECT_TRUE(Has(first, "Message List"));
  EXPECT_TRUE(Has(first, "<a href=\"message.html?run=3\">3) MSG3</a><br />"));
  EXPECT_TRUE(Has(first, "<a href=\"message.html?run=21\">21) MSG21</a><br />"));
  EXPECT_EQ(std::string::npos, first.find("run=23\""));
  EXPECT_TRUE(Has(first, "<form id=\"pos\" method=\"post\" action=\"list.html\">"));
  EXPECT_TRUE(Has(first, "value=\"First\" onclick=\"load_page(0)\" disabled"));
  EXPECT_TRUE(Has(first, "value=\"0\" onclick=\"load_page(0)\" disabled"));
  EXPECT_TRUE(Has(first, "value=\"1\" onclick=\"load_page(1)\" />"));
  EXPECT_TRUE(Has(first, "value=\"2\" onclick=\"load_page(2)\" />"));
  EXPECT_EQ(std::string::npos, first.find("value=\"3\""));
  EXPECT_TRUE(Has(first, "value=\"Last\" onclick=\"load_page(2)\" />"));

  // The last page, as its button posts it.
  const std::string last = Body(Post("/list.html?page=2", "first=1", Auth()));
  EXPECT_TRUE(Has(last, "run=43\">43) MSG43"));
  EXPECT_TRUE(Has(last, "run=47\">47) MSG47"));
  EXPECT_EQ(std::string::npos, last.find("run=41\""));
  EXPECT_TRUE(Has(last, "value=\"2\" onclick=\"load_page(2)\" disabled"));
  EXPECT_TRUE(Has(last, "value=\"Last\" onclick=\"load_page(2)\" disabled"));
  EXPECT_TRUE(Has(last, "value=\"First\" onclick=\"load_page(0)\" />"));
}

TEST_F(WebTest, MalformedRequestsGetAClearAnswer) {
  Start();
  const std::string auth = Auth();
  struct bad {
    const char* what;
    std::string raw;
    int status;
    bool cut = false;  // the request stops short: the server waits out its time
  };
  std::string many_headers;
  for (int i = 0; i < 200; ++i) many_headers += "X-Filler-" + std::to_string(i) + ": 0123456789\r\n";
  const std::vector<bad> cases = {
      {"long request line", "GET /" + std::string(600, 'a') + ".html HTTP/1.0\r\n" + auth + "\r\n", 414},
      {"long request line, never ended", "GET /" + std::string(5000, 'a'), 414},
      {"long header line", "GET /index.html HTTP/1.0\r\nX-Long: " + std::string(600, 'b') + "\r\n" + auth + "\r\n", 431},
      {"header block too big", "GET /index.html HTTP/1.0\r\n" + auth + many_headers + "\r\n", 431},
      {"long path", "GET /" + std::string(200, 'c') + ".html HTTP/1.0\r\n" + auth + "\r\n", 414},
      {"long query", "GET /index.html?" + std::string(450, 'q') + " HTTP/1.0\r\n" + auth + "\r\n", 414},
      {"unknown method", "PUT /index.html HTTP/1.0\r\n" + auth + "\r\n", 405},
      {"no version", "GET /index.html\r\n" + auth + "\r\n", 400},
      {"garbage", std::string("\x01\x02\x03\r\n\r\n"), 400},
      {"zero byte", std::string("GET /index.html HTTP/1.0\r\nX: a\0b\r\n", 35) + auth + "\r\n", 400},
      {"no target", "GET  HTTP/1.0\r\n" + auth + "\r\n", 400},
      {"traversal", "GET /../CONFIG.XML HTTP/1.0\r\n" + auth + "\r\n", 400},
      {"traversal in a name", "GET /a..html HTTP/1.0\r\n" + auth + "\r\n", 400},
      {"directory", "GET /sub/index.html HTTP/1.0\r\n" + auth + "\r\n", 404},
      {"backslash", "GET /..\\CONFIG.XML HTTP/1.0\r\n" + auth + "\r\n", 400},
      {"escaped traversal", "GET /%2e%2e/index.html HTTP/1.0\r\n" + auth + "\r\n", 404},
      {"other file kinds", "GET /CONFIG.XML HTTP/1.0\r\n" + auth + "\r\n", 404},
      {"unknown page", "GET /nothere.html HTTP/1.0\r\n" + auth + "\r\n", 404},
      {"post without length", "POST /diag.html HTTP/1.0\r\n" + auth + "\r\n", 411},
      {"post with huge length", "POST /diag.html HTTP/1.0\r\n" + auth + "Content-Length: 99999999999\r\n\r\n", 413},
      {"post longer than the buffer", "POST /diag.html HTTP/1.0\r\n" + auth + "Content-Length: 1801\r\n\r\n", 413},
      {"post with bad length", "POST /diag.html HTTP/1.0\r\n" + auth + "Content-Length: 12a\r\n\r\n", 400},
      {"post with negative length", "POST /diag.html HTTP/1.0\r\n" + auth + "Content-Length: -5\r\n\r\n", 400},
      {"post cut short", "POST /diag.html HTTP/1.0\r\n" + auth + "Content-Length: 100\r\n\r\nshort", 400, true},
      {"unauthenticated post", "POST /diag.html HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello", 401},
  };
  for (const bad& c : cases) {
    int fd = ct::Connect(port_);
    ASSERT_GE(fd, 0);
    ct::Write(fd, c.raw);
    if (c.cut) {
      // The server waits out its receive time on the kernel's clock: move
      // the clock on until the answer is there (bounded by the count).
      for (int i = 0; i < 2000; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0) break;
        rtos::advance(100);
      }
    }
    std::string answer;
    char buffer[2048];
    for (;;) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      answer.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    EXPECT_EQ(c.status, Status(answer)) << c.what << ": " << answer.substr(0, 80);
  }
  // Nothing of it stuck: the object is unchanged and pages are served.
  EXPECT_EQ(1u, Nv(nv::quorDisplayMode));
  EXPECT_EQ(200, Status(Get("/index.html")));
}

TEST_F(WebTest, ConnectionClosedWithoutARequestLeavesTheServerServing) {
  Start();
  for (int i = 0; i < 3; ++i) {
    int fd = ct::Connect(port_);
    ASSERT_GE(fd, 0);
    if (i == 1) ct::Write(fd, "GET /index");
    close(fd);
  }
  EXPECT_EQ(200, Status(Get("/index.html")));
}

TEST_F(WebTest, StopRequestEndsListening) {
  Start();
  EXPECT_EQ(1, http_server_enabled());
  {
    rtos::cpu_scope scope;
    http_server_enable(0);
  }
  EXPECT_EQ(0, http_server_enabled());
  EXPECT_EQ(0, HostPort(net_proto::tcp, 80));
  Start();
  EXPECT_EQ(200, Status(Get("/index.html")));
}

}  // namespace
