# Writes OUTPUT from the text INPUT for Windows, with every line ended by CR LF.
# With MANDOC, INPUT is a manual page and OUTPUT its HTML: a reference to a page
# beside it in man/ links to that page's HTML, and any other reference is plain text.
#   cmake -D INPUT=man/fibterm.1 -D OUTPUT=fibterm.html -D MANDOC=mandoc -P windows-text.cmake
if(MANDOC)
  get_filename_component(folder ${INPUT} DIRECTORY)
  # mandoc takes the first form for a page that exists in the folder it runs in and
  # the second, here empty, for any other; an empty link is then removed.
  execute_process(COMMAND ${MANDOC} -T html -O "man=%N.html;" ${INPUT}
    WORKING_DIRECTORY ${folder}
    OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "mandoc could not convert ${INPUT}")
  endif()
  string(REPLACE "<a class=\"Xr\" href=\"\">" "<a class=\"Xr\">" text "${text}")
else()
  file(READ ${INPUT} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${OUTPUT} "${text}")
