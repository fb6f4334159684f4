# The bad-input corpus: damaged copies of the test movies and a few odd files, written by a
# seeded generator into <build>/corpus with a manifest, corpus.tsv.
find_package(Python3 COMPONENTS Interpreter)
if(NOT Python3_Interpreter_FOUND)
  message(STATUS "No Python 3 interpreter: the bad-input corpus is not built")
  return()
endif()

set(CORPUS_DIR ${CMAKE_BINARY_DIR}/corpus)
set(corpus_generator ${PROJECT_SOURCE_DIR}/tests/corpus/make_corpus.py)
add_custom_command(OUTPUT ${CORPUS_DIR}/corpus.tsv
  COMMAND ${Python3_EXECUTABLE} ${corpus_generator} --media ${MEDIA_DIR} --out ${CORPUS_DIR}
  DEPENDS ${corpus_generator} ${MEDIA_DIR}/sample.mp4 ${MEDIA_DIR}/sample.mov
    ${MEDIA_DIR}/video-only.mp4 ${MEDIA_DIR}/audio-only.mp4
  VERBATIM)
add_custom_target(corpus ALL DEPENDS ${CORPUS_DIR}/corpus.tsv)
add_dependencies(corpus test_media)

# The mutated movies that once hurt the host (./dev fuzz-module, seed 1), made again for the suite.
set(MUTATED_FAILURES_DIR ${CMAKE_BINARY_DIR}/mutated-failures)
set(mutation_generator ${PROJECT_SOURCE_DIR}/tests/corpus/mutate_corpus.py)
add_custom_command(OUTPUT ${MUTATED_FAILURES_DIR}/corpus.tsv
  COMMAND ${Python3_EXECUTABLE} ${mutation_generator} --media ${MEDIA_DIR} --out ${MUTATED_FAILURES_DIR}
    --seed 1 --indices 227 231 299 521 601 732
  DEPENDS ${mutation_generator} ${MEDIA_DIR}/sample.mp4 ${MEDIA_DIR}/sample.mov
  VERBATIM)
add_custom_target(mutated_failures ALL DEPENDS ${MUTATED_FAILURES_DIR}/corpus.tsv)
add_dependencies(mutated_failures test_media)
