# Writes the file IN as a C string constant into the C++ source OUT.
file(READ ${IN} CONTENT)
set(DELIM "kandu_timeline")
file(WRITE ${OUT} "extern const char kDemoTimeline[];\nconst char kDemoTimeline[] = R\"${DELIM}(${CONTENT})${DELIM}\";\n")
