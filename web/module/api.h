// Every function the web pages call in the modules, declared once here. web/CMakeLists.txt reads
// the modules' export lists from the KANDU_API and KANDU_EDITOR_API declarations below, and the
// pages reach them through one facade (web/page/module.js), never by name.
//
// Text crosses as bytes with a length (a timeline may hold a NUL byte); numbers in bulk cross as
// arrays of doubles that stay valid until the next call of the same function; an edit returns 0,
// or 1 with the reason in kandu_web_error() and nothing changed.
#pragma once

#include <cstdint>

#define KANDU_API extern "C"
// Only the editor's module has these: the player's page and an exported demo load a module with
// what playing needs (KANDU_API), the editor one with everything.
#define KANDU_EDITOR_API extern "C"

// The intro on the page (play.cpp): started on a canvas with a timeline, then driven frame by
// frame with kandu-player's transport and keys.
KANDU_API int kandu_web_start(const char *bytes, double length, const char *source, const char *canvas);
KANDU_API double kandu_web_max_timeline_bytes();
KANDU_API const char *kandu_web_error();
KANDU_API const char *kandu_web_builtin();
// kandu's version, the CMake project's, as kandu-player --version prints it.
KANDU_API const char *kandu_version();
KANDU_API double kandu_web_duration();
KANDU_API double kandu_web_still_at(const char *bytes, double length);
KANDU_API void kandu_web_frame(double ms);
KANDU_API void kandu_web_still(double ms);
KANDU_API int kandu_web_key(int key);
KANDU_API int kandu_web_paused();
KANDU_API int kandu_web_tick(double soundMs, double elapsedMs);
KANDU_API double kandu_web_position();
KANDU_API void kandu_web_seek(double ms);
KANDU_API void kandu_web_set_paused(int paused);
KANDU_API void kandu_web_set_loop(double from, double to, int on);
KANDU_API const char *kandu_web_title();
KANDU_API const char *kandu_web_words(double ms);
KANDU_API const double *kandu_web_moments(int *count);
KANDU_API const char *kandu_web_music();
KANDU_API const float *kandu_web_beat(int *frames);

// The editor's document (document.cpp): the timeline as written, edited through the timeline
// library. Blocks are named by their line (from 1).
KANDU_EDITOR_API int kandu_doc_open(const char *bytes, double length, const char *source);
KANDU_EDITOR_API const char *kandu_doc_text();
KANDU_EDITOR_API double kandu_doc_length();
// Four numbers a block, in file order: start, end, line, and its word's index for kandu_doc_word.
KANDU_EDITOR_API const double *kandu_doc_blocks(int *count);
KANDU_EDITOR_API const char *kandu_doc_word(int index);
KANDU_EDITOR_API int kandu_doc_move(const int32_t *lines, int count, double deltaMs);
KANDU_EDITOR_API int kandu_doc_resize(const int32_t *lines, int count, double deltaMs, double gridFraction);
KANDU_EDITOR_API int kandu_doc_edge(int line, int end, double ms);
// `copies` gets the line of each copy, in the order of `lines`.
KANDU_EDITOR_API int kandu_doc_duplicate(const int32_t *lines, int count, int32_t *copies);
KANDU_EDITOR_API int kandu_doc_delete(const int32_t *lines, int count);
KANDU_EDITOR_API int kandu_doc_set_word(const int32_t *lines, int count, const char *word);
KANDU_EDITOR_API int kandu_doc_insert(double startMs, double endMs, const char *word);
KANDU_EDITOR_API int kandu_doc_insert_time(double atMs, double amountMs);
KANDU_EDITOR_API int kandu_doc_remove_time(double atMs, double amountMs);
KANDU_EDITOR_API int kandu_doc_tempo(double bpm, int offsetMs);
// The blocks within [fromMs, toMs), cut at its edges, pasted at atMs.
KANDU_EDITOR_API int kandu_doc_paste_time(double fromMs, double toMs, double atMs);
// The marks: two numbers each, ms and line; their names by index.
KANDU_EDITOR_API const double *kandu_doc_marks(int *count);
KANDU_EDITOR_API const char *kandu_doc_mark_name(int index);
// The marks as the editor moves between them: a new mark's name; the index (kandu_doc_marks'
// order) of the nearest mark before or after `ms`, -1 for none; the marks around `ms` as three
// numbers: found (0 or 1), from, to.
KANDU_EDITOR_API const char *kandu_doc_fresh_mark_name();
KANDU_EDITOR_API int kandu_doc_mark_near(double ms, int later);
KANDU_EDITOR_API const double *kandu_doc_mark_range(double ms);
// 1 while the document holds no block, tempo or music line (a song dropped on it starts it).
KANDU_EDITOR_API int kandu_doc_blank();
KANDU_EDITOR_API int kandu_doc_add_mark(double ms, const char *name);
KANDU_EDITOR_API int kandu_doc_move_mark(int line, double ms);
KANDU_EDITOR_API int kandu_doc_rename_mark(int line, const char *name);
// Replaces `removed` bytes at `at` with `length` bytes (undo and redo replay changes this way).
KANDU_EDITOR_API int kandu_doc_replace(double at, double removed, const char *bytes, double length);
// The last change to the text: [at, removed length, inserted length], and those bytes.
KANDU_EDITOR_API const double *kandu_doc_change();
KANDU_EDITOR_API const char *kandu_doc_change_removed();
KANDU_EDITOR_API const char *kandu_doc_change_inserted();

// The rules the editor draws and snaps by (rules.cpp): the effect words and the document's beat
// grid (timeline/grid.h), `fraction` the grid step in beats.
KANDU_EDITOR_API int kandu_word_count();
KANDU_EDITOR_API const char *kandu_word_name(int index);
KANDU_EDITOR_API int kandu_word_kind(int index);  // 0 draws, 1 pulse, 2 fade, 3 other
KANDU_EDITOR_API int kandu_grid_has_tempo();
// A number that changes whenever the document's tempo map does.
KANDU_EDITOR_API double kandu_grid_tempo_key();
KANDU_EDITOR_API double kandu_grid_ms_at(double beat);
KANDU_EDITOR_API double kandu_grid_beat_at(double ms);
// A time as the editor labels it: in beats to a thousandth ("8.75b"), or "1234 ms" without a tempo.
KANDU_EDITOR_API const char *kandu_grid_time_text(double ms);
KANDU_EDITOR_API double kandu_grid_later(double ms, double beats);
KANDU_EDITOR_API double kandu_grid_step(double atMs, double fraction);
KANDU_EDITOR_API double kandu_grid_snap(double ms, double fraction);
KANDU_EDITOR_API double kandu_grid_snap_move(double atMs, double deltaMs, double fraction);
KANDU_EDITOR_API double kandu_grid_drag_edge(double start, double end, int isStart, double ms, int free, double fraction);
// Tempo (tempo.cpp): the detector fed mono samples a piece at a time; four numbers at the end:
// steady (0 or 1), BPM, the first downbeat's ms, confidence (0 to 1), and the reason it is not
// steady in kandu_tempo_why(). kandu_tempo_so_far gives the same from what was fed so far, and
// feeding may go on.
KANDU_EDITOR_API void kandu_tempo_begin(int rate);
KANDU_EDITOR_API void kandu_tempo_feed(const float *mono, int count);
KANDU_EDITOR_API const double *kandu_tempo_so_far();
KANDU_EDITOR_API const double *kandu_tempo_finish();
KANDU_EDITOR_API const char *kandu_tempo_why();
// How sure an estimate of `confidence` is, in words ("sure: 83%", or unsure and what to try).
KANDU_EDITOR_API const char *kandu_tempo_how_sure(double confidence);
// The tempo line a timeline takes for `bpm` and a first beat at `firstBeatMs` ("tempo 128.00 123").
KANDU_EDITOR_API const char *kandu_tempo_line(double bpm, double firstBeatMs);
// A new timeline for a song named `musicName`, with the estimate given.
KANDU_EDITOR_API const char *kandu_tempo_new_timeline(const char *musicName, int steady, double bpm, double firstBeatMs,
                                               double confidence, const char *why);
// A first cut's lines for music given as mono at 12 kHz, on the tempo given, with the pulse words
// (by commas) on its kicks.
KANDU_EDITOR_API const char *kandu_first_cut(const float *mono12k, int count, double bpm, double firstBeatMs,
                                      const char *pulses);
// Tap tempo over taps at `ms`: four numbers: ok (0 or 1), BPM, the fitted first tap's ms, taps counted.
KANDU_EDITOR_API const double *kandu_tap_fit(const double *ms, int count);
// Taps made while playing: the tempo line's first beat (timeline/tempo_detect.h's tapFirstBeatMs).
KANDU_EDITOR_API double kandu_tap_first_beat(double firstTapMusicMs, double firstTapClockMs, double fitFirstMs, double bpm);
// The document's tempo line as it stands: has one (0 or 1), BPM, offset in ms, 0.
KANDU_EDITOR_API const double *kandu_doc_tempo_now();
// Three numbers a line: ms, beat, strength (0 step, 1 beat, 2 bar).
KANDU_EDITOR_API const double *kandu_grid_lines(double fromMs, double toMs, double fraction, double minStepMs,
                                         double minBeatMs, int *count);
KANDU_EDITOR_API const double *kandu_grid_ticks(double fromMs, double toMs, double minGapMs, int *count);
