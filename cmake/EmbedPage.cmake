# Puts the controller page's style sheet and script inline and writes the page as a C++ array.
#   cmake -DPAGE=controller.html -DSTYLE=controller.css -DSCRIPT=controller.js -DOUTPUT=x.cpp -P EmbedPage.cmake
file(READ "${PAGE}" page)
file(READ "${STYLE}" style)
file(READ "${SCRIPT}" script)
string(REPLACE "/* controller.css */" "${style}" page "${page}")
string(REPLACE "/* controller.js */" "${script}" page "${page}")
string(LENGTH "${page}" length)
file(WRITE "${OUTPUT}.page" "${page}")
file(READ "${OUTPUT}.page" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Made by cmake/EmbedPage.cmake from tools/send/web/page; do not edit.
#include \"tools/send/web/controller_page.h\"

namespace joywire {

const char kControllerPage[] = {
${bytes}'\\0'};
const std::size_t kControllerPageSize = sizeof kControllerPage - 1;

}  // namespace joywire
")
