# Runs zelk-msgcheck (under the emulator when cross-built) on a table of
# small message files, each with one fault, and on the example's own files,
# and compares its findings and exit status.
#   -DTOOL=<zelk-msgcheck> -DEMULATOR=<wine or empty> -DWORK=<scratch folder> -DEXAMPLES=<examples/>
#
# In the file contents below, <XX> stands for the byte 0xXX (so <3B> is ';',
# which CMake would take for a list separator, and <5B> a '[' without its
# ']', which would join list elements).  Each EXPECT is a regular
# expression that one line of the output must match; the output must hold
# as many findings as there are EXPECTs.

cmake_minimum_required(VERSION 3.25)

set(failures "")
set(case_number 0)

function(decode out text)
  string(REGEX MATCHALL "<[0-9A-F][0-9A-F]>" codes "${text}")
  list(REMOVE_DUPLICATES codes)
  foreach(code IN LISTS codes)
    string(SUBSTRING "${code}" 1 2 hex)
    math(EXPR value "0x${hex}")
    string(ASCII ${value} byte)
    string(REPLACE "${code}" "${byte}" text "${text}")
  endforeach()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(check name)
  cmake_parse_arguments(C "" "TRANSLATED;ENGLISH;CODES;EXIT" "ARGS;EXPECT" ${ARGN})
  math(EXPR number "${case_number} + 1")
  set(case_number ${number} PARENT_SCOPE)
  set(dir "${WORK}/${number}")
  file(REMOVE_RECURSE "${dir}" "${dir}.out" "${dir}.err")
  file(MAKE_DIRECTORY "${dir}")
  foreach(part TRANSLATED:German.txt ENGLISH:Zelk.TXT CODES:codes.txt)
    string(REPLACE ":" ";" part "${part}")
    list(GET part 0 key)
    list(GET part 1 leaf)
    if(DEFINED C_${key})
      decode(bytes "${C_${key}}")
      file(WRITE "${dir}/${leaf}" "${bytes}")
    endif()
  endforeach()
  # Files, not pipes: background processes of the emulator (Wine's services)
  # inherit the output and would hold a pipe open for seconds after the tool.
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${C_ARGS} WORKING_DIRECTORY "${dir}"
    OUTPUT_FILE "${dir}.out" ERROR_FILE "${dir}.err" RESULT_VARIABLE result TIMEOUT 60)
  file(READ "${dir}.out" output)
  file(READ "${dir}.err" errors)
  string(REPLACE "\r" "" output "${output}")
  set(problems "")
  if(NOT "${result}" STREQUAL "${C_EXIT}")
    string(APPEND problems "  exit status ${result}, expected ${C_EXIT}\n")
  endif()
  string(REGEX MATCHALL "(^|\n)[^\n]*:[0-9]+: (error|warning|note): " findings "${output}")
  list(LENGTH findings found)
  list(LENGTH C_EXPECT expected)
  if(NOT found EQUAL expected AND NOT "--json" IN_LIST C_ARGS)
    string(APPEND problems "  ${found} findings, expected ${expected}\n")
  endif()
  foreach(pattern IN LISTS C_EXPECT)
    if(NOT output MATCHES "${pattern}")
      string(APPEND problems "  no line matches: ${pattern}\n")
    endif()
  endforeach()
  if(problems)
    set(failures "${failures}${name} (${dir}):\n${problems}  output:\n${output}${errors}\n" PARENT_SCOPE)
  endif()
endfunction()

set(clean "<3B> comment\n# comment\n[FileError]\n2=File not found\n-1=Unknown\n[netError]\n002a=Connection refused\nFFFFffff=Unknown\n")

# One file alone: named Zelk.TXT, it is the English file and checked by itself.
check("clean file, comments ignored" ENGLISH "${clean}" ARGS Zelk.TXT EXIT 0)
check("hex key in a decimal section, CRLF lines" ENGLISH "[FileError]\r\n\r\n002a=x\r\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:3: error: key '002a' in \\[FileError\\] is never looked up: .*decimal.*code 42, looked up as '42'")
check("decimal key in a hex section" ENGLISH "[netError]\n42=x\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:2: error: key '42' in \\[netError\\] is never looked up: .*hexadecimal.*looked up as '002a'")
check("a key that is no code" ENGLISH "[FileError]\nDatei=x\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:2: error: key 'Datei' .* is no code")
check("repeated section" ENGLISH "[FileError]\n2=a\n[fileerror]\n3=b\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:3: error: section \\[fileerror\\] repeats line 1 .*1 key \\(line 4\\) are ignored")
check("repeated key, other text" ENGLISH "[FileError]\n2=a\n2=b\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:3: error: key '2' repeats line 2 and the first wins")
check("repeated key, same text" ENGLISH "[FileError]\n2=a\n2=a\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:3: warning: key '2' repeats line 2 with the same text")
string(REPEAT "x" 299 long)
check("text longer than a snapshot keeps" ENGLISH "[FileError]\n2=${long}\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:2: warning: .* 299 bytes is cut to 298")
string(REPEAT "x" 298 fits)
check("quoted text of 298: one cut more" ENGLISH "[FileError]\n2=\"${fits}\"\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:2: warning: .* 298 bytes is cut to 297")
check("unclosed quote" ENGLISH "[FileError]\n2=\"File\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:2: warning: .*opening quote .* '\"File'")
check("only the outer quotes go" ENGLISH "[FileError]\n2=\"a\" and \"b\"\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:2: warning: \\[FileError\\] 2: only the outer quotes .* 'a\" and \"b'")
check("a text continued on the next line" ENGLISH "[FileError]\n2=File not\nfound\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:3: error: neither a section, a key=text pair nor a comment: .*'found'")
check("'[' without ']'" ENGLISH "[FileError]\n2=x\n<5B>netError\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:3: error: '\\[' without '\\]' opens no section.*stay in \\[FileError\\]")
check("text after ']'" ENGLISH "[FileError] 2=x\n2=y\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:1: warning: text after '\\]' is ignored: ' 2=x'")
check("key before the first section" ENGLISH "2=x\n[FileError]\n2=y\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:1: warning: key '2' stands before the first section")
check("empty text" ENGLISH "[FileError]\n2=\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:2: warning: \\[FileError\\] 2 has an empty text")
check("section without a name" ENGLISH "[FileError]\n2=x\n[]\n3=y\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:3: error: a section without a name is never searched")
# What the tools print goes through the console layer: UTF-8 on POSIX, the
# console's code page in a Windows pipe, so the letters below are left open.
check("UTF-8 without a byte-order mark" ENGLISH "[FileError]\n2=Datei gel<C3><B6>scht\n3=L<C3><A4>nge\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:2: error: the file looks like UTF-8 without a byte-order mark: .*'[^']+' shows where '[^']+'")
check("byte without a character in Windows-1252" ENGLISH "[FileError]\n2=a<81>b\n" ARGS Zelk.TXT EXIT 0
  EXPECT "Zelk.TXT:2: warning: byte 0x81 is no character in Windows-1252")
check("UTF-8 with a mark, character outside the code page" ENGLISH "<EF><BB><BF>[FileError]\n2=<C2><80><E4><B8><80> <C3><B6>\n"
  ARGS Zelk.TXT EXIT 0 EXPECT "Zelk.TXT:2: warning: U\\+0080, U\\+4E00 not in Windows-1252")
check("UTF-8 with a mark, malformed" ENGLISH "<EF><BB><BF>[FileError]\n2=a<C3>b\n" ARGS Zelk.TXT EXIT 1
  EXPECT "Zelk.TXT:2: error: bytes that form no character")

# A translation beside its English file.
check("clean pair" TRANSLATED "${clean}" ENGLISH "${clean}" ARGS German.txt EXIT 0)
check("a text not translated" TRANSLATED "[FileError]\n2=Datei\n" ENGLISH "[FileError]\n2=File\n5=Denied\n"
  ARGS German.txt EXIT 0
  EXPECT "German.txt:1: note: \\[FileError\\]: 1 of 2 texts translated"
         "Zelk.TXT:3: note: \\[FileError\\] 5 is not translated in German.txt")
check("a section not translated" TRANSLATED "[FileError]\n2=Datei\n" ENGLISH "[FileError]\n2=File\n[netError]\n0010=Down\n"
  ARGS German.txt EXIT 0
  EXPECT "Zelk.TXT:3: note: section \\[netError\\] is not in German.txt: its 1 text is shown in English")
check("a text without English" TRANSLATED "[FileError]\n2=Datei\n5=Verweigert\n" ENGLISH "[FileError]\n2=File\n"
  ARGS German.txt EXIT 1 EXPECT "German.txt:3: error: \\[FileError\\] 5 is not in Zelk.TXT")
check("a section without English" TRANSLATED "[FileError]\n2=Datei\n[netError]\n0010=Weg\n" ENGLISH "[FileError]\n2=File\n"
  ARGS German.txt EXIT 1 EXPECT "German.txt:3: error: section \\[netError\\] is not in Zelk.TXT")
check("English file named, not derived" TRANSLATED "${clean}" ENGLISH "[FileError]\n2=File\n" ARGS German.txt German.txt
  EXIT 0)

# The codes a program reports.
check("a code without any text" TRANSLATED "${clean}" ENGLISH "${clean}" CODES "FileError 2\nnetError 0x2a\n\nFileError 3\n"
  ARGS --codes codes.txt German.txt EXIT 1
  EXPECT "codes.txt:4: error: FileError 3 \\(key \\[FileError\\] 3\\) has no text in German.txt nor in Zelk.TXT")
check("a code only in English" TRANSLATED "[FileError]\n2=Datei\n" ENGLISH "[FileError]\n2=File\n5=Denied\n"
  CODES "FileError 5\n" ARGS --codes=codes.txt German.txt EXIT 0
  EXPECT "codes.txt:1: warning: FileError 5 .* no text in German.txt: the English text is shown"
         "Zelk.TXT:3: note: .*5 is not translated" "German.txt:1: note:")
check("a line that is no code" TRANSLATED "${clean}" ENGLISH "${clean}" CODES "# reported\nFileError two\n"
  ARGS --codes codes.txt German.txt EXIT 1 EXPECT "codes.txt:2: error: expected a type name and a code")

# Names as SetMsgFileName takes them, JSON, and what cannot be read.
file(TO_NATIVE_PATH "${WORK}" work_native)
string(REPLACE "/" "\\" work_windows "${work_native}")
math(EXPR next "${case_number} + 1")
check("Windows name, English derived beside it" TRANSLATED "${clean}" ENGLISH "${clean}[Other]\n002a=x\n"
  ARGS "z:${work_windows}\\${next}\\German.txt" EXIT 1 EXPECT "[Zz]elk.TXT:10: error: key '002a'")
check("JSON" ENGLISH "[FileError]\n002a=x\n" ARGS --json Zelk.TXT EXIT 1
  EXPECT "\"findings\": .\n    {\"file\": \"Zelk.TXT\", \"line\": 2, \"severity\": \"error\", \"check\": \"dead-key\""
         "\"summary\": {\"errors\": 1, \"warnings\": 0, \"notes\": 0")
check("no such translated file" ARGS German.txt EXIT 2)
check("no English file beside it" TRANSLATED "${clean}" ARGS German.txt EXIT 2)
check("unknown option" ENGLISH "${clean}" ARGS --fast Zelk.TXT EXIT 2)
check("the manual" ARGS --help EXIT 0)

# The examples' own files come out clean.
foreach(folder "${EXAMPLES}" "${EXAMPLES}/errors")
  file(READ "${folder}/German.txt" german)
  file(READ "${folder}/Zelk.TXT" english)
  string(REPLACE ";" "<3B>" german "${german}")
  string(REPLACE ";" "<3B>" english "${english}")
  check("the example's files in ${folder}" TRANSLATED "${german}" ENGLISH "${english}" ARGS German.txt EXIT 0
    EXPECT "Zelk.TXT:[0-9]+: note: \\[netError\\] 0010 is not translated" "German.txt:[0-9]+: note: \\[netError\\]: 1 of 2")
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message("${case_number} cases passed")
