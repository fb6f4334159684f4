# Small, deterministic test movies made with ffmpeg, plus a few bad inputs.
find_program(FFMPEG ffmpeg REQUIRED)
set(MEDIA_DIR ${CMAKE_BINARY_DIR}/media)
file(MAKE_DIRECTORY ${MEDIA_DIR})

set(ffmpeg_common -hide_banner -loglevel error -y -fflags +bitexact)
set(h264 -c:v libx264 -preset veryfast -pix_fmt yuv420p -threads 1 -flags:v +bitexact -x264-params keyint=25)
set(aac -c:a aac -b:a 64k -flags:a +bitexact)
set(tags -metadata title=Colour\ Bars -metadata artist=moviepane)
set(bars -f lavfi -i smptebars=size=320x240:rate=25:duration=5)
set(tone -f lavfi -i sine=frequency=440:sample_rate=44100:duration=5)

function(make_media name)
  add_custom_command(OUTPUT ${MEDIA_DIR}/${name} COMMAND ${FFMPEG} ${ffmpeg_common} ${ARGN} ${MEDIA_DIR}/${name} VERBATIM)
  list(APPEND media_files ${MEDIA_DIR}/${name})
  set(media_files ${media_files} PARENT_SCOPE)
endfunction()

make_media(sample.mp4 ${bars} ${tone} ${h264} ${aac} ${tags} -movflags +faststart -shortest)
make_media(sample.mov ${bars} ${tone} ${h264} ${aac} ${tags} -movflags +faststart -shortest)
make_media(video-only.mp4 ${bars} ${h264} -movflags +faststart)
make_media(audio-only.mp4 ${tone} ${aac} -movflags +faststart)
make_media(hd720.mp4 -f lavfi -i testsrc2=size=1280x720:rate=30:duration=12
  -f lavfi -i sine=frequency=660:sample_rate=48000:duration=12 ${h264} ${aac} -movflags +faststart -shortest)
# Common sizes that are no multiple of 16, whose decoded frames are larger than the picture:
# moving pictures with sound, and still colour bars.
foreach(size 854x480 1366x768 568x320 720x404)
  foreach(container mp4 mov)
    make_media(wide-${size}.${container} -f lavfi -i testsrc2=size=${size}:rate=30:duration=3
      -f lavfi -i sine=frequency=550:sample_rate=48000:duration=3 ${h264} ${aac} -movflags +faststart -shortest)
  endforeach()
endforeach()
make_media(bars-854x480.mp4 -f lavfi -i smptebars=size=854x480:rate=25:duration=3 ${h264} -movflags +faststart)
# Short movies: their end may be reported before, or instead of, their start.
make_media(short-48x144.mp4 -f lavfi -i testsrc2=size=48x144:rate=12:duration=1 ${h264} -movflags +faststart)
make_media(black-1fps.mp4 -f lavfi -i color=c=black:size=320x240:rate=1:duration=2 ${h264} -movflags +faststart)
make_media(png-4x4.mov -f lavfi -i testsrc2=size=4x4:rate=15 -frames:v 2 -c:v png -pix_fmt rgba)

# Four solid quadrants, top-left red, top-right green, bottom-left blue, bottom-right white, so
# that a picture's turn shows on screen.
function(quadrants size out)
  set(${out} -f lavfi -i "color=size=${size}:rate=25:duration=2,format=gbrp,geq=r='255*eq(lt(X,W/2),lt(Y,H/2))':g='255*gte(X,W/2)':b='255*gte(Y,H/2)'" PARENT_SCOPE)
endfunction()
quadrants(320x240 quads)
quadrants(480x360 wide_quads)
set(x264 -c:v libx264 -preset veryfast -threads 1 -flags:v +bitexact)

# Movies whose track matrix turns the picture: rotate-N is to be turned N degrees clockwise to
# stand upright, as players show it (ffmpeg's display rotation counts counter-clockwise).
make_media(quadrants.mp4 ${quads} ${x264} -pix_fmt yuv420p -movflags +faststart)
foreach(container mp4 mov)
  foreach(turn 90 180 270)
    math(EXPR counter_clockwise "360 - ${turn}")
    set(rotated ${MEDIA_DIR}/rotate-${turn}.${container})
    add_custom_command(OUTPUT ${rotated}
      COMMAND ${FFMPEG} ${ffmpeg_common} -display_rotation ${counter_clockwise} -i ${MEDIA_DIR}/quadrants.mp4
        -c copy -movflags +faststart ${rotated}
      DEPENDS ${MEDIA_DIR}/quadrants.mp4 VERBATIM)
    list(APPEND media_files ${rotated})
  endforeach()
endforeach()
# Stored 480x360 with 4:3 pixels: shown 640x360.
make_media(anamorphic-4x3.mp4 ${wide_quads} -vf setsar=4/3 ${x264} -pix_fmt yuv420p -movflags +faststart)

# Formats Wine's source refuses to decode.
make_media(h264-10bit.mp4 ${quads} ${x264} -pix_fmt yuv420p10le -movflags +faststart)
make_media(h264-444.mp4 ${quads} ${x264} -pix_fmt yuv444p -movflags +faststart)
make_media(hevc-10bit.mov ${quads} -c:v libx265 -pix_fmt yuv420p10le -tag:v hvc1
  -x265-params log-level=error:pools=none:frame-threads=1 -movflags +faststart)
make_media(prores.mov ${quads} -c:v prores_ks -profile:v 2 -movflags +faststart)
make_media(rpza.mov ${quads} -c:v rpza -movflags +faststart)

add_custom_command(OUTPUT ${MEDIA_DIR}/text.mp4 ${MEDIA_DIR}/empty.mp4 ${MEDIA_DIR}/truncated.mp4
  COMMAND ${CMAKE_COMMAND} -E echo "This is a text file, not a movie." > ${MEDIA_DIR}/text.mp4
  COMMAND ${CMAKE_COMMAND} -E touch ${MEDIA_DIR}/empty.mp4
  COMMAND head -c 60000 ${MEDIA_DIR}/sample.mp4 > ${MEDIA_DIR}/truncated.mp4
  DEPENDS ${MEDIA_DIR}/sample.mp4)
list(APPEND media_files ${MEDIA_DIR}/text.mp4 ${MEDIA_DIR}/empty.mp4 ${MEDIA_DIR}/truncated.mp4)

# A movie whose data ends right after its header, as a download in progress.
add_custom_command(OUTPUT ${MEDIA_DIR}/cut-after-moov.mp4
  COMMAND ${CMAKE_COMMAND} -DIN=${MEDIA_DIR}/sample.mp4 -DOUT=${MEDIA_DIR}/cut-after-moov.mp4
    -P ${CMAKE_CURRENT_LIST_DIR}/CutAfterMoov.cmake
  DEPENDS ${MEDIA_DIR}/sample.mp4 ${CMAKE_CURRENT_LIST_DIR}/CutAfterMoov.cmake)
list(APPEND media_files ${MEDIA_DIR}/cut-after-moov.mp4)

add_custom_target(test_media ALL DEPENDS ${media_files})

# The bench's 1080p movie, and the same stream stored turned: its track matrix asks for a quarter
# turn clockwise (ffmpeg's display rotation counts counter-clockwise).
add_custom_command(OUTPUT ${MEDIA_DIR}/hd1080.mp4
  COMMAND ${FFMPEG} ${ffmpeg_common} -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=12 ${h264}
    -movflags +faststart ${MEDIA_DIR}/hd1080.mp4
  VERBATIM)
add_custom_command(OUTPUT ${MEDIA_DIR}/hd1080-rotate-90.mp4
  COMMAND ${FFMPEG} ${ffmpeg_common} -display_rotation 270 -i ${MEDIA_DIR}/hd1080.mp4 -c copy -movflags +faststart
    ${MEDIA_DIR}/hd1080-rotate-90.mp4
  DEPENDS ${MEDIA_DIR}/hd1080.mp4 VERBATIM)
add_custom_target(bench_media DEPENDS ${MEDIA_DIR}/hd1080.mp4 ${MEDIA_DIR}/hd1080-rotate-90.mp4)
# The movie that ./dev demo plays, without the rest.
add_custom_target(demo_media DEPENDS ${MEDIA_DIR}/sample.mp4)
