// The built-in copies of the page templates and the style sheet. A file of
// the same name in the file system takes precedence, so a sign can carry
// its own pages.
#include <cstring>
#include <strings.h>

#include "comm/web/web_pages.h"

namespace {

#define WEB_HEAD(TITLE)                                                                  \
  "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n<html>\n<head>\n"   \
  "<title>Quorvantis, Inc.</title>\n"                                                    \
  "<meta http-equiv=\"Pragma\" content=\"no-cache\" />\n"                                \
  "<meta http-equiv=\"Cache-Control\" content=\"no-cache\" />\n"                         \
  "<meta http-equiv=\"Expires\" content=\"0\" />\n"                                      \
  "<link rel=\"stylesheet\" type=\"text/css\" href=\"quorstyle.css\" />\n"               \
  "<!-- " TITLE " -->\n"

// Shared script pieces: the model family, local mode.
#define WEB_COMMON_SCRIPT                                                                \
  "var model = \"$%1.3.6.1.4.1.1206.4.2.6.1.3.1.4.8,STR#$\";\n"                          \
  "var family = model.substring(0, 2).toUpperCase();\n"                                  \
  "var controlMode = $%1.3.6.1.4.1.1206.4.2.3.6.1.0,INT#$;\n"                            \
  "function localMode() {\n"                                                             \
  "  if (controlMode == 2) { alert(\"sign in local mode\"); return true; }\n"            \
  "  return false;\n"                                                                    \
  "}\n"                                                                                  \
  "function row(label, value) {\n"                                                       \
  "  document.write(\"<tr><td class=\\\"label\\\">\" + label + \"</td><td>\" + value + \"</td></tr>\");\n" \
  "}\n"

const char kIndex[] =
    WEB_HEAD("Sign Status")
    "<script type=\"text/javascript\">\n" WEB_COMMON_SCRIPT
    "var running = $%1.3.6.1.4.1.1206.3.11.2.27.0,INT#$;\n"
    "var sourceMode = $%1.3.6.1.4.1.1206.4.2.3.6.7.0,INT#$;\n"
    "var firmware = \"$%1.3.6.1.4.1.1206.4.2.6.1.3.1.5.1,STR#$\";\n"
    "var localTime = $%1.3.6.1.4.1.1206.4.2.6.3.6.0,INT#$;\n"
    "var hdlcAddress = $%1.3.6.1.4.1.1206.3.11.2.11.0,INT#$;\n"
    "var ipAddress = $%1,3,6,1,2,1,4,20,1,1,1,IP#$;\n"
    "var illumControl = $%1.3.6.1.4.1.1206.4.2.3.7.1.0,INT#$;\n"
    "var brightLevel = $%1.3.6.1.4.1.1206.4.2.3.7.5.0,INT#$;\n"
    "var signVolts = $%1.3.6.1.4.1.1206.4.2.3.9.8.1.0,INT#$;\n"
    "var latitude = $%1.3.6.1.4.1.1206.4.2.5.2.2.1.0,INT#$;\n"
    "var longitude = $%1.3.6.1.4.1.1206.4.2.5.2.2.2.0,INT#$;\n"
    "var currentMulti = \"$%1.3.6.1.4.1.1206.4.2.3.5.8.1.3.5.1,STR#$\";\n"
    "var signType = $%1.3.6.1.4.1.1206.4.2.3.1.2.0,INT#$;\n"
    "var charHeight = $%1.3.6.1.4.1.1206.4.2.3.2.1.0,INT#$;\n"
    "var charWidth = $%1.3.6.1.4.1.1206.4.2.3.2.2.0,INT#$;\n"
    "var signHeight = $%1.3.6.1.4.1.1206.4.2.3.2.3.0,INT#$;\n"
    "var signWidth = $%1.3.6.1.4.1.1206.4.2.3.2.4.0,INT#$;\n"
    "var pitch = $%1.3.6.1.4.1.1206.4.2.3.2.5.0,INT#$;\n"
    "var months = [\"Jan\",\"Feb\",\"Mar\",\"Apr\",\"May\",\"Jun\",\"Jul\",\"Aug\",\"Sep\",\"Oct\",\"Nov\",\"Dec\"];\n"
    "function messageText(code) {\n"
    "  var type = (code >> 16) & 0xFF, number = code & 0xFFFF;\n"
    "  if (type == 2) return \"Permanent \" + number + (family == \"SP\" ? \" (\" + (number + 498) + \")\" : \"\");\n"
    "  if (type == 3) return \"Changeable \" + number;\n"
    "  if (type == 4) return \"Volatile \" + number;\n"
    "  if (type == 5) return \"Current Buffer\";\n"
    "  if (type == 6) return \"Schedule\";\n"
    "  if (type == 7) return \"Blank\";\n"
    "  return \"Invalid Type\";\n"
    "}\n"
    "function sourceText(m) {\n"
    "  switch (m) { case 2: return \"Local\"; case 3: return \"External\"; case 8: return \"Central\";\n"
    "  case 9: return \"Schedule\"; case 10: return \"PowerRecovery\"; case 11: return \"Reset\";\n"
    "  case 12: return \"Comm Loss\"; case 13: return \"Power Loss\"; case 14: return \"End Duration\"; }\n"
    "  return \"Other\";\n"
    "}\n"
    "function controlText(m) { return m == 2 ? \"Local\" : (m == 5 ? \"Central Override\" : \"Central\"); }\n"
    "function two(n) { return n < 10 ? \"0\" + n : \"\" + n; }\n"
    "function timeText(s) {\n"
    "  var d = new Date(s * 1000), h = d.getUTCHours(), ap = h < 12 ? \"AM\" : \"PM\";\n"
    "  h = h % 12; if (h == 0) h = 12;\n"
    "  return h + \":\" + two(d.getUTCMinutes()) + \":\" + two(d.getUTCSeconds()) + \" \" + ap;\n"
    "}\n"
    "function dateText(s) {\n"
    "  var d = new Date(s * 1000);\n"
    "  return months[d.getUTCMonth()] + \" \" + d.getUTCDate() + \", \" + d.getUTCFullYear();\n"
    "}\n"
    "function ipText(a) { return ((a >> 24) & 255) + \".\" + ((a >> 16) & 255) + \".\" + ((a >> 8) & 255) + \".\" + (a & 255); }\n"
    "function brightText() {\n"
    "  var mode = illumControl == 2 ? \"Auto \" : (illumControl >= 4 && illumControl <= 6 ? \"Manual \" : \"Invalid \");\n"
    "  var pct = Math.round(brightLevel * 100 / 255); if (pct < 1) pct = 1;\n"
    "  return mode + pct + \"%\";\n"
    "}\n"
    "function speedText(m) { return m.replace(/\\[[^\\]]*\\]/g, \"\").replace(/[^0-9]/g, \"\"); }\n"
    "function position(v, bad) { return v == bad ? \"Not Available\" : (v / 1000000).toFixed(6); }\n"
    "</script>\n</head>\n<body>\n"
    "<div class=\"banner\">QUORVANTIS</div>\n"
    "<a href=\"message.html\">Messaging</a> | <a href=\"diag.html\">Diagnostics</a>\n"
    "<h2>Sign Status</h2>\n<table class=\"status\">\n<script type=\"text/javascript\">\n"
    "row(\"Running Message: \", messageText(running));\n"
    "if (family == \"SP\" || family == \"TR\" || family == \"PC\") row(\"\", \"<a href=\\\"view.html\\\">View Message</a>\");\n"
    "if (family == \"SP\") row(\"Speed: \", speedText(currentMulti));\n"
    "if (family == \"TR\") {\n"
    "  row(\"Battery: \", (signVolts / 100).toFixed(2) + \" V\");\n"
    "  row(\"Latitude: \", position(latitude, 90000001));\n"
    "  row(\"Longitude: \", position(longitude, 180000001));\n"
    "  if (latitude != 90000001 && longitude != 180000001)\n"
    "    row(\"\", \"<a href=\\\"https://maps.example.net/?q=\" + latitude / 1000000 + \",\" + longitude / 1000000 + \"\\\">Location</a>\");\n"
    "}\n"
    "row(\"Model: \", model);\n"
    "row(\"Message Source: \", sourceText(sourceMode));\n"
    "row(\"Control Mode: \", controlText(controlMode));\n"
    "row(\"Firmware Rev: \", firmware);\n"
    "row(\"Sign Time: \", timeText(localTime));\n"
    "row(\"Sign Date: \", dateText(localTime));\n"
    "row(\"Sign Address: \", hdlcAddress);\n"
    "row(\"IP Address: \", ipText(ipAddress));\n"
    "row(\"Brightness: \", brightText());\n"
    "</script>\n</table>\n"
    "<p class=\"support\">Support: Quorvantis, Inc. technical support</p>\n"
    "</body>\n</html>\n";

const char kMessage[] =
    WEB_HEAD("Messaging")
    "<script type=\"text/javascript\">\n" WEB_COMMON_SCRIPT
    "function runMessage() {\n"
    "  if (localMode()) return false;\n"
    "  var n = parseInt(document.getElementById(\"number\").value, 10);\n"
    "  var code;\n"
    "  if (n >= 1 && n <= 500) code = 0x30000 + n;\n"
    "  else if (n >= 501) code = 0x20000 + n - 498;\n"
    "  else { alert(\"invalid message number\"); return false; }\n"
    "  document.getElementById(\"code\").value = code;\n"
    "  return true;\n"
    "}\n"
    "function blankSign() {\n"
    "  if (localMode()) return false;\n"
    "  if (!confirm(\"Blank Sign?\")) return false;\n"
    "  document.getElementById(\"code\").value = 0x070001;\n"
    "  document.getElementById(\"run\").submit();\n"
    "  return false;\n"
    "}\n"
    "function fillNumber() {\n"
    "  var m = /run=(\\d+)/.exec(window.location.search);\n"
    "  if (m && parseInt(m[1], 10) >= 1) document.getElementById(\"number\").value = m[1];\n"
    "}\n"
    "</script>\n</head>\n<body onload=\"fillNumber()\">\n"
    "<div class=\"banner\">QUORVANTIS</div>\n"
    "<a href=\"index.html\">Status</a> | <a href=\"quick.html\">Quick</a>\n"
    "<script type=\"text/javascript\">\n"
    "if (family == \"SP\" || family == \"TR\" || family == \"PC\") document.write(\" | <a href=\\\"list.html\\\">List</a>\");\n"
    "</script>\n"
    "<h2>Messaging</h2>\n"
    "<form id=\"run\" method=\"post\" action=\"/index.html\" enctype=\"multipart/form-data\" onsubmit=\"return runMessage()\">\n"
    "Message # <input type=\"text\" id=\"number\" size=\"3\" maxlength=\"3\" />\n"
    "<input type=\"hidden\" id=\"code\" name=\"$*1,3,6,1,4,1,1206,3,11,2,27,0,int,n#$\" value=\"0\" />\n"
    "<input type=\"submit\" value=\"Run\" />\n"
    "<input type=\"button\" value=\"Blank Sign\" onclick=\"blankSign()\" />\n"
    "</form>\n</body>\n</html>\n";

const char kQuick[] =
    WEB_HEAD("Quick Message")
    "<script type=\"text/javascript\">\n" WEB_COMMON_SCRIPT
    "var fontCount = $%1.3.6.1.4.1.1206.4.2.3.3.1.0,INT#$;\n"
    "var fonts = [\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.1,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.1,STR#$\"],\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.2,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.2,STR#$\"],\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.3,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.3,STR#$\"],\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.4,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.4,STR#$\"],\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.5,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.5,STR#$\"],\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.6,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.6,STR#$\"],\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.7,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.7,STR#$\"],\n"
    "  [$%1.3.6.1.4.1.1206.4.2.3.3.2.1.4.8,INT#$, \"$%1.3.6.1.4.1.1206.4.2.3.3.2.1.3.8,STR#$\"]];\n"
    "function fontList() {\n"
    "  for (var i = 1; i <= fontCount && i <= fonts.length; ++i)\n"
    "    if (fonts[i - 1][0] > 0)\n"
    "      document.write(\"<option value=\\\"[fo\" + i + \"]\\\">\" + fonts[i - 1][1] + \"</option>\");\n"
    "}\n"
    "function lines(text) { return text.replace(/\\r/g, \"\").split(\"\\n\").join(\"[nl]\"); }\n"
    "function saveMessage() {\n"
    "  if (localMode()) return false;\n"
    "  var font = document.getElementById(\"font\").value;\n"
    "  var one = document.getElementById(\"one\").value, two = document.getElementById(\"two\").value;\n"
    "  var text = font + lines(one);\n"
    "  if (two.length > 0) text += \"[np]\" + lines(two);\n"
    "  document.getElementById(\"multi\").value = text;\n"
    "  return true;\n"
    "}\n"
    "</script>\n</head>\n<body>\n"
    "<div class=\"banner\">QUORVANTIS</div>\n"
    "<a href=\"index.html\">Status</a> | <a href=\"message.html\">Messaging</a>\n"
    "<h2>Quick Message</h2>\n"
    "<form method=\"post\" action=\"/message.html?run=500\" enctype=\"multipart/form-data\" onsubmit=\"return saveMessage()\">\n"
    "Font <select id=\"font\"><script type=\"text/javascript\">fontList();</script></select><br />\n"
    "Page One:<br /><textarea id=\"one\" rows=\"3\" cols=\"30\"></textarea><br />\n"
    "Page Two:<br /><textarea id=\"two\" rows=\"3\" cols=\"30\"></textarea><br />\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,5,8,1,9,3,500,int,nv#$\" value=\"6\" />\n"
    "<input type=\"hidden\" id=\"multi\" name=\"$*1,3,6,1,4,1,1206,4,2,3,5,8,1,3,3,500,str,nv#$\" value=\"\" />\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,5,8,1,4,3,500,str,nv#$\" value=\"HTTP User\" />\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,5,8,1,6,3,500,int,nv#$\" value=\"0\" />\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,5,8,1,7,3,500,int,nv#$\" value=\"0\" />\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,5,8,1,8,3,500,int,nv#$\" value=\"0\" />\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,5,8,1,9,3,500,int,nv#$\" value=\"7\" />\n"
    "<input type=\"submit\" value=\"Save Message\" />\n"
    "</form>\n</body>\n</html>\n";

const char kDiag[] =
    WEB_HEAD("Sign Diagnostics")
    "<script type=\"text/javascript\">\n" WEB_COMMON_SCRIPT
    "var features = $%1.3.6.1.4.1.1206.3.11.2.26.0,INT#$;\n"
    "var pixelTest = $%1.3.6.1.4.1.1206.4.2.3.9.7.4.0,INT#$;\n"
    "var shortError = $%1.3.6.1.4.1.1206.4.2.3.9.7.1.0,INT#$;\n"
    "var pixelRows = $%1.3.6.1.4.1.1206.4.2.3.9.7.19.0,INT#$;\n"
    "var upTime = $%1.3.6.1.2.1.1.3.0,INT#$;\n"
    "var cabinet = $%1.3.6.1.4.1.1206.4.2.3.9.9.2.0,INT#$;\n"
    "var photocell = $%1.3.6.1.4.1.1206.4.2.3.7.3.0,INT#$;\n"
    "var displayMode = $%1.3.6.1.4.1.1206.3.11.1.1.0,INT#$;\n"
    "var signVolts = $%1.3.6.1.4.1.1206.4.2.3.9.8.1.0,INT#$;\n"
    "var testEnabled = (features & 0x01) != 0;\n"
    "function pixelText() {\n"
    "  if (!testEnabled) return \"Disabled\";\n"
    "  if (pixelTest == 3) return \"Test In Progress\";\n"
    "  if (shortError & 0x20) return pixelRows + \" Errors\";\n"
    "  return \"No Errors\";\n"
    "}\n"
    "function post(id) { if (localMode()) return false; document.getElementById(id).submit(); return false; }\n"
    "function resetSign() { if (localMode()) return false; if (confirm(\"Reset Sign?\")) document.getElementById(\"reset\").submit(); return false; }\n"
    "</script>\n</head>\n<body>\n"
    "<div class=\"banner\">QUORVANTIS</div>\n"
    "<a href=\"index.html\">Status</a>\n"
    "<h2>Sign Diagnostics</h2>\n<table class=\"status\">\n<script type=\"text/javascript\">\n"
    "if (family == \"TR\") row(\"Battery: \", (signVolts / 100).toFixed(2) + \" V\");\n"
    "row(\"Pixel Test: \", pixelText());\n"
    "if (testEnabled && controlMode != 2) {\n"
    "  if (pixelTest == 3) row(\"\", \"<input type=\\\"button\\\" value=\\\"Get Results\\\" onclick=\\\"window.location.reload()\\\" />\");\n"
    "  else row(\"\", \"<input type=\\\"button\\\" value=\\\"Activate Test\\\" onclick=\\\"post('pixel')\\\" />\");\n"
    "}\n"
    "row(\"Uptime: \", (upTime / 8640000).toFixed(2) + \" days\");\n"
    "row(\"Cabinet Temperature: \", cabinet + \" C\");\n"
    "row(\"Photocell Level: \", photocell);\n"
    "row(\"Test Pattern: \", \"<input type=\\\"button\\\" value=\\\"\" + (displayMode == 1 ? \"Turn On\" : \"Turn Off\") + \"\\\" onclick=\\\"post('pattern')\\\" />\");\n"
    "</script>\n</table>\n"
    "<form id=\"pixel\" method=\"post\" action=\"/diag.html\" enctype=\"multipart/form-data\">\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,9,7,4,0,int,n#$\" value=\"3\" /></form>\n"
    "<form id=\"pattern\" method=\"post\" action=\"/diag.html\" enctype=\"multipart/form-data\">\n"
    "<script type=\"text/javascript\">\n"
    "document.write(\"<input type=\\\"hidden\\\" name=\\\"$*1,3,6,1,4,1,1206,3,11,1,1,0,int,n#$\\\" value=\\\"\" + (displayMode == 1 ? 10 : 1) + \"\\\" />\");\n"
    "</script></form>\n"
    "<form id=\"reset\" method=\"post\" action=\"/index.html\" enctype=\"multipart/form-data\">\n"
    "<input type=\"hidden\" name=\"$*1,3,6,1,4,1,1206,4,2,3,6,2,0,int,n#$\" value=\"1\" /></form>\n"
    "<input type=\"button\" value=\"Reload Page\" onclick=\"window.location.reload()\" />\n"
    "<script type=\"text/javascript\">\n"
    "document.write(\"<input type=\\\"button\\\" value=\\\"Reset Sign\\\" onclick=\\\"resetSign()\\\"\" + (controlMode == 2 ? \" disabled=\\\"disabled\\\"\" : \"\") + \" />\");\n"
    "</script>\n</body>\n</html>\n";

const char kView[] =
    WEB_HEAD("View Message")
    "<script type=\"text/javascript\">\n"
    "var signWidth = $%1.3.6.1.4.1.1206.4.2.3.2.4.0,INT#$;\n"
    "var multi = \"$%1.3.6.1.4.1.1206.4.2.3.5.8.1.3.5.1,STR#$\";\n"
    "function pageHtml(p) {\n"
    "  var t = p.replace(/\\[nl[^\\]]*\\]/gi, \"<br />\");\n"
    "  t = t.replace(/\\[(ms11,)?g[^\\]]*\\]/gi, \"[GRAPHIC]\");\n"
    "  t = t.replace(/\\[(?!GRAPHIC\\])[^\\]]*\\]/g, \" \");\n"
    "  return t;\n"
    "}\n"
    "</script>\n</head>\n<body>\n"
    "<div class=\"banner\">QUORVANTIS</div>\n"
    "<a href=\"index.html\">Status</a>\n"
    "<h2>View Message</h2>\n<script type=\"text/javascript\">\n"
    "var pages = multi.split(/\\[np\\]/i);\n"
    "document.write(\"<table class=\\\"view\\\" width=\\\"\" + 2 * signWidth + \"\\\">\");\n"
    "if (pages.length == 1 && pages[0].length == 0) document.write(\"<tr><td><br /><br /><br /></td></tr>\");\n"
    "else for (var i = 0; i < pages.length; ++i) document.write(\"<tr><td>\" + pageHtml(pages[i]) + \"</td></tr>\");\n"
    "document.write(\"</table>\");\n"
    "</script>\n</body>\n</html>\n";

const char kStyle[] =
    "body { font-family: Arial, Helvetica, sans-serif; background: #ffffff; color: #000000; }\n"
    ".banner { font-size: 28px; font-weight: bold; color: #ffffff; background: #003366; padding: 6px; }\n"
    "a { color: #003366; }\n"
    "h2 { font-size: 20px; color: #003366; }\n"
    "table.status td { padding: 2px 8px; }\n"
    "td.label { font-weight: bold; text-align: right; }\n"
    "table.view { background: #000000; color: #ffcc00; font-family: monospace; text-align: center; }\n"
    ".list { font-family: monospace; }\n"
    ".support { font-size: 12px; color: #555555; }\n";

struct builtin_file {
  const char* name;
  const char* text;
  uint32_t size;
};

const builtin_file kFiles[] = {
    {"preindex.html", kIndex, sizeof kIndex - 1},     {"premessage.html", kMessage, sizeof kMessage - 1},
    {"prediag.html", kDiag, sizeof kDiag - 1},        {"preview.html", kView, sizeof kView - 1},
    {"prequick.html", kQuick, sizeof kQuick - 1},     {"quorstyle.css", kStyle, sizeof kStyle - 1},
};

}  // namespace

const char* web_builtin(const char* name, uint32_t* size) {
  if (!name) return nullptr;
  for (const builtin_file& f : kFiles) {
    if (!strncasecmp(name, f.name, std::strlen(f.name))) {
      if (size) *size = f.size;
      return f.text;
    }
  }
  return nullptr;
}
