# Writes a file of the page (phone/page) as a C++ array named NAME, and its size as NAMESize.
#   cmake -DNAME=kControllerPage -DPAGE=x.html -DOUTPUT=x.cpp -P EmbedPage.cmake
file(READ "${PAGE}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Made by cmake/EmbedPage.cmake from phone/page; do not edit.
#include \"phone/controller_page.h\"

namespace joywire {

extern const char ${NAME}[];  // (declared, so that the definitions are seen from other files)
extern const std::size_t ${NAME}Size;
const char ${NAME}[] = {
${bytes}'\\0'};
const std::size_t ${NAME}Size = sizeof ${NAME} - 1;

}  // namespace joywire
")
