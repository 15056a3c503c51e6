# Puts a page's style sheet and script inline and writes the page as a C++ array named NAME;
# any other file (an icon) as it stands.
#   cmake -DNAME=kControllerPage -DPAGE=x.html [-DSTYLE=x.css -DSCRIPT=x.js] -DOUTPUT=x.cpp
#         -P EmbedPage.cmake
if(STYLE OR SCRIPT)
  file(READ "${PAGE}" page)
  file(READ "${STYLE}" style)
  string(REPLACE "/* controller.css */" "${style}" page "${page}")
  file(READ "${SCRIPT}" script)
  string(REPLACE "/* controller.js */" "${script}" page "${page}")
  file(WRITE "${OUTPUT}.page" "${page}")
  file(READ "${OUTPUT}.page" hex HEX)
else()
  file(READ "${PAGE}" hex HEX)
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Made by cmake/EmbedPage.cmake from phone/page; do not edit.
#include \"phone/controller_page.h\"

namespace joywire {

const char ${NAME}[] = {
${bytes}'\\0'};
const std::size_t ${NAME}Size = sizeof ${NAME} - 1;

}  // namespace joywire
")
