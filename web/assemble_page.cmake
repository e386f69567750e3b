cmake_minimum_required(VERSION 3.25)
# Puts quarvent.html together: the page template with its style sheet, scripts, the help file
# and the engine (which carries the WebAssembly inside it) written in place.
#   cmake -DSOURCE_DIR=web -DENGINE=quarvent_engine.js -DHELP=QUARVENT.HLP -DOUTPUT=x.html
#         -DVERSION=4.1.32 -P assemble_page.cmake
file(READ "${SOURCE_DIR}/quarvent.html.in" page)
file(READ "${SOURCE_DIR}/quarvent.css" style)
file(READ "${ENGINE}" engine)
file(READ "${HELP}" help)
set(scripts "const QUARVENT_VERSION = \"${VERSION}\";\n")
foreach(part web_port.js trace_view.js page.js)
    file(READ "${SOURCE_DIR}/${part}" text)
    string(APPEND scripts "${text}\n")
endforeach()
foreach(name engine help scripts)
    string(FIND "${${name}}" "</script" closing)
    if(NOT closing EQUAL -1)
        message(FATAL_ERROR "${name} holds </script and cannot be put into the page as it is")
    endif()
endforeach()
# Placeholders are replaced one by one, the engine last, so that text inside one part is
# never taken for another's placeholder.
string(REPLACE "@STYLE@" "${style}" page "${page}")
string(REPLACE "@HELP@" "${help}" page "${page}")
string(REPLACE "@SCRIPTS@" "${scripts}" page "${page}")
string(REPLACE "@ENGINE@" "${engine}" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
