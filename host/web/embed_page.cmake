# Makes the page one self-contained HTML text (the style sheet and the script inlined) and
# writes it as a byte array, so that vesk-host serves it with no file beside it.
#   -DSOURCE_DIR=<host/web> -DOUTPUT=<file.cpp>
file(READ "${SOURCE_DIR}/page.html" page)
file(READ "${SOURCE_DIR}/page.css" style)
file(READ "${SOURCE_DIR}/page.js" code)
string(REPLACE "/*@page.css@*/" "${style}" page "${page}")
string(REPLACE "//@page.js@" "${code}" page "${page}")
string(LENGTH "${page}" size)
file(WRITE "${OUTPUT}.page" "${page}")
file(READ "${OUTPUT}.page" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "/* Generated from host/web/page.html, page.css and page.js. */\n"
    "extern \"C\" const unsigned char vesk_web_page[] = {\n${bytes}0};\n"
    "extern \"C\" const unsigned long vesk_web_page_size = sizeof vesk_web_page - 1;\n")
file(REMOVE "${OUTPUT}.page")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
