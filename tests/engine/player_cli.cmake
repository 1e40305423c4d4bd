# End-to-end runs of the player executable: each case runs it in a scratch folder with one
# command line and checks the exit code and the first error line ("[!] ..."), and optionally a
# line or a block of text it must print. Command lines pin "-r none -m none" unless the case is
# about the devices; the games are in games/.

set(QZ_PLAYER_GAMES ${CMAKE_CURRENT_SOURCE_DIR}/games)

add_executable(engine_pack_archive pack_archive.cpp)
target_link_libraries(engine_pack_archive PRIVATE qz_core)
add_executable(engine_wav_peak wav_peak.cpp)

# qz_player_case(<name> CODE <exit code> ERROR <first error line or NONE>
#                [GAME <folder copied in>] [PACK <folder packed> ARCHIVE <archive name>]
#                [LINE <lines printed...>] [BLOCK <file under games/expected>] [REJECT <text not printed>]
#                [WAV <file the run must leave>] [LOUD <least peak of its samples>] [ENV <variable=value...>]
#                [TGA <picture file the run must leave> PIXELS <x,y,BBGGRRAA...>]
#                [DISPLAY] [ARGS <arguments...>])
# GAME may also be an absolute folder. DISPLAY: the case opens a window, with software
# rendering; without a display it is skipped. WAV: a finished RIFF/WAVE file of 16-bit stereo
# at 48000 Hz. ENV: set for the run (such as the audio back-ends). TGA: an uncompressed 32-bit
# TGA, rows top down, whose pixels at x,y hold the bytes given (blue, green, red, alpha in hex).
function(qz_player_case name)
  cmake_parse_arguments(C "DISPLAY" "CODE;ERROR;GAME;PACK;ARCHIVE;BLOCK;REJECT;WAV;LOUD;TGA" "ARGS;LINE;ENV;PIXELS" ${ARGN})
  string(JOIN "|" args ${C_ARGS})
  string(JOIN "|" lines ${C_LINE})
  set(defs
    -DPLAYER=$<TARGET_FILE:quazel>
    -DPACKER=$<TARGET_FILE:engine_pack_archive>
    -DGAMES=${QZ_PLAYER_GAMES}
    -DWORK=${CMAKE_CURRENT_BINARY_DIR}/player_runs/${name}
    -DEXPECT_CODE=${C_CODE}
    "-DEXPECT_ERROR=${C_ERROR}"
    "-DARGS=${args}")
  if(C_GAME)
    list(APPEND defs -DGAME=${C_GAME})
  endif()
  if(C_PACK)
    list(APPEND defs -DPACK=${C_PACK} -DARCHIVE=${C_ARCHIVE})
  endif()
  if(DEFINED C_LINE)
    list(APPEND defs "-DEXPECT_LINE=${lines}")
  endif()
  if(C_BLOCK)
    list(APPEND defs -DEXPECT_BLOCK=${C_BLOCK})
  endif()
  if(DEFINED C_REJECT)
    list(APPEND defs "-DREJECT_TEXT=${C_REJECT}")
  endif()
  if(C_DISPLAY)
    list(APPEND defs -DNEEDS_DISPLAY=ON)
  endif()
  if(C_WAV)
    list(APPEND defs -DEXPECT_WAV=${C_WAV})
  endif()
  if(C_TGA)
    string(JOIN "|" pixels ${C_PIXELS})
    list(APPEND defs -DEXPECT_TGA=${C_TGA} "-DEXPECT_PIXELS=${pixels}")
  endif()
  if(C_LOUD)
    list(APPEND defs -DEXPECT_LOUD=${C_LOUD} -DWAV_PEAK=$<TARGET_FILE:engine_wav_peak>)
  endif()
  add_test(NAME player_cli_${name}
           COMMAND ${CMAKE_COMMAND} ${defs} -P ${CMAKE_CURRENT_SOURCE_DIR}/run_player.cmake)
  # Any run may start the window or the sound system, whose libraries keep allocations for the
  # life of the process (lsan.supp).
  set(environment ${C_ENV} "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
  if(C_DISPLAY)
    list(APPEND environment "LIBGL_ALWAYS_SOFTWARE=1")
    set_tests_properties(player_cli_${name} PROPERTIES
      SKIP_REGULAR_EXPRESSION "no display to open a window on" LABELS gl)
  endif()
  set_tests_properties(player_cli_${name} PROPERTIES ENVIRONMENT "${environment}")
endfunction()

set(NULL_DEVICES -r none -m none)

# Without arguments: "bootstrap.txt" from the disk, else from "resource.qza", else the usage.
qz_player_case(no_arguments_no_bootstrap CODE 1 ERROR "[!] Failed to open archive 'resource.qza'."
               BLOCK usage.txt)
# The bootstrap selects the project, but the default mixer ("al") finds no sound device here.
set(NO_AL_DEVICE ENV ALSOFT_DRIVERS=no-such-backend)
qz_player_case(no_arguments_bootstrap_on_disk CODE 2 ERROR "[!] Failed to open default OpenAL device."
               GAME bootstrap ${NO_AL_DEVICE})
qz_player_case(no_arguments_bootstrap_in_archive CODE 2 ERROR "[!] Failed to open default OpenAL device."
               PACK bootstrap ARCHIVE resource.qza ${NO_AL_DEVICE}
               LINE "[H] Filesystem connecting to archive 'resource.qza'...")

# Runs that start: the time limit ends them with 0, an uncaught script error with 3.
qz_player_case(project_time_live CODE 0 ERROR NONE GAME project LINE "[S] Game set up"
               ARGS game.ngp -P ${NULL_DEVICES} -time_live 1)
# A project builds its scene stack from its script, unloads a scene and ends the run itself.
qz_player_case(project_scene_stack CODE 0 ERROR NONE GAME stack
               LINE "[S] Stack: level type 1, hud type 2" "[S] Stack: level has 2 layers"
                    "[S] Stack: found level.nms, updated 2 times"
                    "[S] Stack: after unload 1 layer, level found false, old object valid false" "[S] Stack: ending"
               ARGS game.ngp -P ${NULL_DEVICES} -time_live 30)
qz_player_case(project_script_error CODE 3 ERROR "[!] Killing VM with reason 'the index 'boom' does not exist'."
               GAME crash ARGS game.ngp -P ${NULL_DEVICES} -time_live 30)
qz_player_case(project_script_error_before_time_live CODE 3
               ERROR "[!] Killing VM with reason 'the index 'boom' does not exist'."
               GAME crash ARGS game.ngp -P ${NULL_DEVICES})
# A scene: the same exits, and a missing resource ends the run with 3 unless ignored.
qz_player_case(scene_time_live CODE 0 ERROR NONE GAME scene LINE "[S] Level set up"
               ARGS level.nms ${NULL_DEVICES} -time_live 1)
# The window system's default font is the one installed beside the player.
qz_player_case(scene_system_font CODE 0 ERROR NONE GAME scene
               LINE "Font 'disc:$<TARGET_FILE_DIR:quazel>/default.ttf' loaded as 'default'." "[S] Level set up"
               ARGS level.nms ${NULL_DEVICES} -time_live 1)
# Materials with their own shader maps load; faults of a map are one line each and the run goes on.
qz_player_case(scene_shader_maps CODE 0 ERROR "[!] Invalid block type 'Teapot'." GAME shadermap
               LINE "[*] Shader map block 0 ('Add') refuses input 0: the link would close a cycle."
                    "[*] Block index 7 is past the end of the shader map." "[S] Level set up"
               REJECT "Shader map of material 'pulse'"
               ARGS level.nms ${NULL_DEVICES} -time_live 1)
qz_player_case(scene_shader_maps_gl CODE 0 ERROR "[!] Invalid block type 'Teapot'." GAME shadermap DISPLAY
               LINE "[S] Level set up" ARGS level.nms -r gl2 -m none -time_live 1)
qz_player_case(scene_script_error CODE 3 ERROR "[!] Killing VM with reason 'the index 'boom' does not exist'."
               GAME scene_crash ARGS level.nms ${NULL_DEVICES} -time_live 30)
# Runaway scripts are stopped as script errors, each with its reason: recursion without end,
# memory without bound (on one line, which gives no line events), and an update that never
# returns (after the five seconds a call may take).
qz_player_case(scene_runaway_recursion CODE 3
               ERROR "[!] Killing VM with reason 'Call stack overflow: more than 2000 nested script calls.'."
               GAME runaway_recursion LINE "[S] Going down" ARGS level.nms ${NULL_DEVICES} -time_live 30)
qz_player_case(scene_runaway_allocation CODE 3
               ERROR "[!] Killing VM with reason 'Script call allocated more than 256 MB.'."
               GAME runaway_allocation LINE "[S] Growing" ARGS level.nms ${NULL_DEVICES} -time_live 30)
qz_player_case(scene_runaway_loop CODE 3
               ERROR "[!] Killing VM with reason 'Script call ran longer than 5000 ms.'."
               GAME runaway_loop LINE "[S] Looping" ARGS level.nms ${NULL_DEVICES} -time_live 30)
qz_player_case(scene_missing_resource CODE 3 ERROR "[!] Failed to load geometry 'models/gone.nmo'."
               LINE "[!] Exiting due to missing resources." GAME scene_missing ARGS level.nms ${NULL_DEVICES})
qz_player_case(scene_ignore_missing_resource CODE 0 ERROR "[!] Failed to load geometry 'models/gone.nmo'."
               REJECT "Exiting due to missing resources."
               GAME scene_missing ARGS level.nms ${NULL_DEVICES} -ignore_missing -time_live 1)
# Collision shapes made from geometry files: a ball comes to rest on a triangle-mesh pad
# ("PolyMesh") and a hexagonal convex hull ("Convex") falls and lands flat on it. The bodies'
# scripts print where they rest.
qz_player_case(scene_mesh_ground CODE 0 ERROR NONE GAME mesh_ground
               LINE "[S] ball lands on pad" "[S] gem lands on pad" "[S] ball rests at 0.4 0.5 0.8"
                    "[S] gem rests at -1.5 0.3 1.0"
               ARGS level.nms ${NULL_DEVICES} -time_live 4)
# Collision shapes built by the scene's script on items the scene file gives none: a ball
# rests on a box floor, a cylinder post stands on its end (half its height up), a ball whose
# collision mask leaves out the floor's group falls through it; a constraint is a null object
# every constraint function refuses. The script stops the game (exit 3) when a check fails.
qz_player_case(scene_shape_yard CODE 0 ERROR NONE GAME shape_yard
               LINE "[S] Post shape: mass 3, turned 1.57" "[S] Constraint: none, enable refused with 'CObject is null'"
                    "[S] ball rests at height 1.0" "[S] post rests at height 1.5" "[S] Shape yard checked"
               ARGS level.nms ${NULL_DEVICES} -time_live 4)
# A terrain read from a scene file with its height and blend files: rays down meet the heights
# of its grid (the strip by its far row too, nothing beside it), and a box falling onto its
# plateau comes to rest on it; then the same game drawn by the OpenGL renderer.
qz_player_case(scene_terrain_field CODE 0 ERROR NONE GAME terrain_field
               LINE "[S] Field: ground at 10 -10 is 2.50" "[S] Field: ground at 36 -44 is 3.00"
                    "[S] Field: ground at 10 -127 is 2.95" "[S] Field: ground at -5 -10 is nothing"
                    "[S] box lands on field" "[S] box rests at 40.0 3.5 -40.0"
               ARGS level.nms ${NULL_DEVICES} -time_live 4)
qz_player_case(scene_terrain_field_gl2 CODE 0 ERROR NONE GAME terrain_field DISPLAY
               LINE "[S] box lands on field" REJECT "[*] "
               ARGS level.nms -r gl2 -m none -time_live 3)
# A level driven by its own script through the scene functions ends itself with SceneEnd: no
# time limit, so only the script's end stops it.
qz_player_case(scene_api_game CODE 0 ERROR NONE GAME scene_api
               LINE "[S] Level: found crate, floor and camera eye" "[S] Level: group boxes holds 2 items"
                    "[S] Level: camera moved, the point ahead shows at 0.5 0.5"
                    "[S] Level: added light lamp, 2 lights now" "[S] Level: crate queued for deletion, still valid true"
                    "[S] Level: crate valid false, items left 4" "[S] Level: the ray hits floor at height 0"
                    "[S] Level: ending"
               REJECT "still running" ARGS level.nms ${NULL_DEVICES} -time_live 0)
set_tests_properties(player_cli_scene_api_game PROPERTIES TIMEOUT 60)
# A level's script paints a picture, blurs it, draws a line, a pixel and a caption, saves it and
# loads it back; a kernel past 32x32 is refused with a line. The saved file holds the painting:
# inside the red square, both sides of its blurred edge, the blue field, the green line composed
# over it (which leaves 1 of blue) and the white corner.
qz_player_case(scene_picture_art CODE 0 ERROR "[!] Convolution kernel too big (33x32), max 32x32."
               GAME picture_art
               LINE "[S] Art: blurred true, a 33x32 kernel false" "[S] Art: the square's edge reads 85 red, 170 blue"
                    "[S] Art: saved true, loaded true at 32x16, same pixels true" "[S] Art: ending"
               TGA art.tga PIXELS 2,2,0000ffff 7,4,5500aaff 8,4,aa0055ff 20,8,ff0000ff 20,12,01ff00ff 31,15,ffffffff
               ARGS level.nms ${NULL_DEVICES} -time_live 5)
# A level's script raytraces its view on the CPU into a TGA file through the real player: the
# level holds only its camera, so the file is the background colour (0.2, 0.4, 0.6) everywhere.
qz_player_case(scene_raytrace_view CODE 0 ERROR "[!] Raytracer width 0 is outside 1 to 16384."
               GAME raytrace_view
               LINE "[S] Trace: bound true" "[S] Trace: a 0 x 8 trace false" "[S] Trace: traced true"
                    "[S] Trace: ending"
               TGA view.tga PIXELS 0,0,996633ff 15,7,996633ff 8,4,996633ff
               ARGS level.nms ${NULL_DEVICES} -time_live 5)
# The same drawn by the OpenGL renderer, with a panel whose material samples a picture: the
# renderer lets the texture's pixels go once uploaded, and the trace still shows the picture's
# gold in the middle, the background left and right.
qz_player_case(scene_raytrace_textured_gl2 CODE 0 ERROR NONE GAME raytrace_textured DISPLAY
               LINE "[S] Trace: bound true" "[S] Trace: traced true" "[S] Trace: ending"
               TGA view.tga PIXELS 0,4,996633ff 15,4,996633ff 8,4,14b4e6ff 7,3,14b4e6ff
               ARGS level.nms -r gl2 -m none -time_live 20)
# Two instances of one template scene, each bringing its items and the template's own script,
# and an AI path with a pause, read by the level's script through the scene and path functions.
qz_player_case(scene_instances_and_paths CODE 0 ERROR NONE GAME instances
               LINE "[S] Shed: west set up with 2 items" "[S] Shed: east set up with 2 items"
                    "[S] Level: west crate at x -4, lid above it at y 1.5" "[S] Level: patrol at 2.5 s is at x 10"
                    "[S] Level: closest time to the pause 2" "[S] Level: closest point to (15, 2, 0) at x 15"
                    "[S] Level: east moved, its crate at x 9" "[S] Level: ending"
               ARGS level.nms ${NULL_DEVICES} -time_live 10)
qz_player_case(scene_from_archive CODE 0 ERROR NONE PACK scene ARCHIVE game.qza LINE "[S] Level set up"
               ARGS level.nms -A game.qza ${NULL_DEVICES} -time_live 1)

# Every option with its argument at once; the game fails (exit 3) unless the includes ran and
# the definitions arrived. The game brings no profiler font: the overlay says so and stays away.
qz_player_case(every_option CODE 0 ERROR "[!] Failed to load raster font description file 'fonts/arial.nml'." GAME defines
               ARGS game.ngp -P ${NULL_DEVICES} -time_live 1 -log_level a -C engine.cfg -f ./ -S lib -S lib
                    -I extra.nut -I inlib.nut -Ds s "some text" -Di i 42 -Df f 5.5 -ignore_esc -ignore_missing
                    -ignore_bootstrap -safe_mode -enable_profiler -fallback_disk_fs)
qz_player_case(later_options_overwrite_earlier CODE 0 ERROR NONE GAME project
               ARGS game.ngp -P -r list -m list ${NULL_DEVICES} -time_live 9 -time_live 1)
# Without -C the player reads the "engine.cfg" shipped in its own folder.
qz_player_case(configuration_beside_the_program CODE 0 ERROR NONE GAME project REJECT "engine.cfg"
               ARGS game.ngp -P ${NULL_DEVICES} -time_live 1)
qz_player_case(missing_configuration_is_no_error CODE 0 ERROR NONE GAME project
               LINE "[*] Could not access file 'nothere.cfg'."
               ARGS game.ngp -P ${NULL_DEVICES} -C nothere.cfg -time_live 1)

# Data from an archive: the game's script, only on the disk, is found with the disk as fallback.
qz_player_case(archive_game CODE 0 ERROR NONE PACK project ARCHIVE game.qza
               ARGS game.ngp -P -A game.qza ${NULL_DEVICES} -time_live 1)
qz_player_case(archive_without_fallback CODE 0 ERROR "[!] Failed to locate script 'game.nut'."
               GAME split_disk PACK split_archive ARCHIVE game.qza
               ARGS game.ngp -P -A game.qza ${NULL_DEVICES} -time_live 1)
qz_player_case(archive_with_disk_fallback CODE 0 ERROR NONE GAME split_disk PACK split_archive ARCHIVE game.qza
               ARGS game.ngp -P -A game.qza -fallback_disk_fs ${NULL_DEVICES} -time_live 1)
qz_player_case(archive_missing CODE 2 ERROR "[!] Failed to open archive 'nothere.qza'."
               ARGS game.ngp -P -A nothere.qza ${NULL_DEVICES})

# Start-up failures.
qz_player_case(missing_project_file CODE 2 ERROR NONE GAME project LINE "[*] Could not access file 'nothere.ngp'."
               ARGS nothere.ngp -P ${NULL_DEVICES})
qz_player_case(missing_scene_file CODE 2 ERROR NONE GAME project LINE "[*] Could not access file 'nothere.nms'."
               ARGS nothere.nms ${NULL_DEVICES})
qz_player_case(not_a_scene_file CODE 2 ERROR "[!] Could not parse scene. Root tag id is incorrect (Environment)."
               GAME project ARGS game.ngp ${NULL_DEVICES})
qz_player_case(renderer_list CODE 2 ERROR NONE BLOCK renderer_list.txt ARGS game.ngp -r list -m none)
qz_player_case(mixer_list CODE 2 ERROR NONE BLOCK mixer_list.txt ARGS game.ngp -r none -m list)
# The OpenGL renderer opens a window and presents every frame; it is also the default.
qz_player_case(renderer_gl2 CODE 0 ERROR NONE GAME project DISPLAY LINE "[H] Starting OpenGL 3 renderer..."
               ARGS game.ngp -P -r gl2 -m none -time_live 1)
qz_player_case(default_renderer_gl2 CODE 0 ERROR NONE GAME project DISPLAY LINE "[H] Starting OpenGL 3 renderer..."
               ARGS game.ngp -P -m none -time_live 1)
qz_player_case(renderer_unknown CODE 2 ERROR NONE GAME project ARGS game.ngp -P -r vulkan -m none)
# The mixers: OpenAL Soft's null back-end and SDL's dummy driver play without a sound card; a
# machine without a device fails start-up with the mixer's own line; the capture needs no device.
qz_player_case(mixer_al CODE 0 ERROR NONE GAME project ENV ALSOFT_DRIVERS=null
               LINE "Starting OpenAL1.1 mixer..." "64 mixer channel." "Done."
               ARGS game.ngp -P -r none -m al -time_live 1)
qz_player_case(mixer_al_no_device CODE 2 ERROR "[!] Failed to open default OpenAL device." GAME project
               ${NO_AL_DEVICE} ARGS game.ngp -P -r none -m al)
qz_player_case(mixer_soft CODE 0 ERROR NONE GAME project ENV SDL_AUDIODRIVER=dummy
               ARGS game.ngp -P -r none -m soft -time_live 1)
qz_player_case(mixer_soft_no_device CODE 2
               ERROR "[!] Failed to open the audio output device (Audio target 'no-such-driver' not available)."
               GAME project ENV SDL_AUDIODRIVER=no-such-driver ARGS game.ngp -P -r none -m soft)
qz_player_case(mixer_file CODE 0 ERROR NONE GAME project WAV out.wav ENV SDL_AUDIODRIVER=no-such-driver
               ALSOFT_DRIVERS=no-such-backend ARGS game.ngp -P -r none -m file out.wav -time_live 1)
qz_player_case(mixer_file_unwritable CODE 2 ERROR "[!] Failed to open WAV file 'no/such/folder/out.wav'."
               GAME project ARGS game.ngp -P -r none -m file no/such/folder/out.wav)
qz_player_case(mixer_unknown CODE 2 ERROR NONE GAME project ARGS game.ngp -P -r none -m wave)

# Bad command lines: one error line, no usage, exit code 1.
qz_player_case(unknown_option CODE 1 ERROR "[!] Unknown command line parameter '-Z'" ARGS game.ngp -Z)
qz_player_case(option_case_matters CODE 1 ERROR "[!] Unknown command line parameter '-p'" ARGS game.ngp -p)
qz_player_case(options_before_the_input CODE 1 ERROR "[!] Unknown command line parameter 'game.ngp'"
               ARGS -P game.ngp)
qz_player_case(debugger_port_is_not_accepted CODE 1 ERROR "[!] Unknown command line parameter '-d'"
               ARGS game.ngp -d 4000)
qz_player_case(debugger_password_is_not_accepted CODE 1 ERROR "[!] Unknown command line parameter '-dp'"
               ARGS game.ngp -dp secret)
qz_player_case(log_level_none_silences_the_error CODE 1 ERROR NONE ARGS game.ngp -log_level n -Z)
qz_player_case(log_level_errors_only CODE 1 ERROR "[!] Unknown command line parameter '-Z'"
               ARGS game.ngp -log_level ! -Z)

set(missing_argument_cases
  "time_live|-time_live: Missing mask."
  "log_level|-log_level: Missing mask."
  "C|-C: Missing configuration file path."
  "f|-f: Missing root path."
  "A|-A: Missing archive path."
  "r|-r: Missing renderer id."
  "m|-m: Missing mixer id."
  "S|-S: Missing search path."
  "I|-I: Missing include path.")
foreach(entry ${missing_argument_cases})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 option)
  list(GET parts 1 message)
  qz_player_case(missing_argument_${option} CODE 1 ERROR "[!] ${message}" ARGS game.ngp -${option})
endforeach()
qz_player_case(missing_mixer_output_file CODE 1 ERROR "[!] -m: Missing mixer output file." ARGS game.ngp -m file)
qz_player_case(define_string_without_value CODE 1
               ERROR "[!] -Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")" ARGS game.ngp -Ds name)
qz_player_case(define_string_alone CODE 1
               ERROR "[!] -Ds: Incomplete key-value pair. (eg. -Ds my_var \"String Value\")" ARGS game.ngp -Ds)
qz_player_case(define_int_without_value CODE 1
               ERROR "[!] -Di: Incomplete key-value pair. (eg. -Di my_var 5)" ARGS game.ngp -Di name)
qz_player_case(define_float_without_value CODE 1
               ERROR "[!] -Df: Incomplete key-value pair. (eg. -Df my_var 5.5)" ARGS game.ngp -Df name)

# A chain of 20,000 items, each the child of the next, leaf first (a file of megabytes, written
# at build time by make_deep_chain): it loads, sets up, resets and evaluates; the leaf reports
# where the chain puts it, before and after the root moves.
add_executable(engine_make_deep_chain make_deep_chain.cpp)
target_link_libraries(engine_make_deep_chain PRIVATE qz_scenekit)
set(QZ_DEEP_CHAIN_GAME ${CMAKE_CURRENT_BINARY_DIR}/games/deep_chain)
add_custom_command(OUTPUT ${QZ_DEEP_CHAIN_GAME}/chain.nms
                   COMMAND ${CMAKE_COMMAND} -E copy_directory ${QZ_PLAYER_GAMES}/deep_chain ${QZ_DEEP_CHAIN_GAME}
                   COMMAND engine_make_deep_chain ${QZ_DEEP_CHAIN_GAME}/chain.nms 20000
                   DEPENDS engine_make_deep_chain ${QZ_PLAYER_GAMES}/deep_chain/chain.nut
                           ${QZ_PLAYER_GAMES}/deep_chain/scriptlib/zib.nut)
add_custom_target(engine_deep_chain_game ALL DEPENDS ${QZ_DEEP_CHAIN_GAME}/chain.nms)
qz_player_case(deep_chain CODE 0 ERROR NONE GAME ${QZ_DEEP_CHAIN_GAME}
               LINE "[S] Leaf set up" "[S] Leaf at 20000" "[S] Leaf moved to 20010"
               ARGS chain.nms ${NULL_DEVICES} -time_live 2)

# The demo game: a scene of falling bodies, a turntable playing its motion and a lift on a
# command list, reported by its scripts, without and with a window, and its project.
set(QZ_DEMO_GAME ${PROJECT_SOURCE_DIR}/demo/crates)
qz_player_case(demo_scene CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME}
               LINE "[S] A body landed" "[S] Lift: at the top" "[S] Turntable: half a turn"
               "[S] Ball: colour cycling on material 'ball'"
               REJECT "[*] " ARGS crates.nms ${NULL_DEVICES} -time_live 3)
qz_player_case(demo_scene_gl2 CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} DISPLAY LINE "[S] Crates yard set up (demo version 1)"
               REJECT "[*] " ARGS crates.nms -r gl2 -m none -time_live 2)
# The debug view switched on by the configuration: the overlay (light volumes, target and
# shadow-map thumbnails) is drawn after every frame, and the game runs as before.
qz_player_case(demo_scene_debug_view CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} DISPLAY
               LINE "[S] Crates yard set up (demo version 1)"
               REJECT "[*] " ARGS crates.nms -r gl2 -m none -time_live 2 -C ${QZ_PLAYER_GAMES}/configs/debug_view.cfg)
# The demo captured by the file mixer: a finished WAV file of the run, with the thuds of the
# landings and the lift's chime in it (the music streams but the software mixer mixes samples only).
qz_player_case(demo_scene_file_mixer CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} WAV crates.wav LOUD 4000
               LINE "[S] A body landed" "Loading sound 'sounds/thud.wav'."
               "SelectAudioDemuxer(): Using 'OGG Vorbis stream demuxer'."
               REJECT "[!] " ARGS crates.nms -r none -m file crates.wav -time_live 2)
# The demo on OpenAL Soft's null back-end: its sounds and its music stream play without a sound card.
qz_player_case(demo_scene_openal CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} ENV ALSOFT_DRIVERS=null
               LINE "[S] A body landed" "[H] OGG Vorbis audio stream 44100hz 16bit 2 channel(s)."
               REJECT "[!] " ARGS crates.nms -r none -m al -time_live 2)
# Without a time limit the yard ends itself once its show is over.
qz_player_case(demo_scene_end CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} LINE "[S] A body landed" "[S] Yard: the show is over"
               REJECT "[*] " ARGS crates.nms ${NULL_DEVICES} -time_live 0)
set_tests_properties(player_cli_demo_scene_end PROPERTIES TIMEOUT 120)
# The 2D layer's script builds a settings window of widgets (a text, a check box, a button).
qz_player_case(demo_project CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} LINE "[S] Crates project set up" "[S] A body landed"
               "[S] Hud: settings window built, sound on" "[S] Hud: faded in, badge 'Yard ready'" REJECT "[*] "
               ARGS crates.ngp -P ${NULL_DEVICES} -time_live 3)
# The project in a window: the yard and its 2D overlay (a skinned window and sprites moved by
# the command lists of hud.nml, faded in from black).
qz_player_case(demo_project_gl2 CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} DISPLAY
               LINE "[S] Crates project set up" "[S] Hud: settings window built, sound on" "[S] Hud: faded in, badge 'Yard ready'"
               REJECT "[*] " ARGS crates.ngp -P -r gl2 -m none -time_live 3)

# The on-screen profiler over the demo, in scene and in project mode, with the demo's font.
qz_player_case(demo_scene_profiler CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} DISPLAY LINE "[S] Crates yard set up (demo version 1)"
               REJECT "[*] " ARGS crates.nms -r gl2 -m none -enable_profiler -time_live 2)
qz_player_case(demo_project_profiler CODE 0 ERROR NONE GAME ${QZ_DEMO_GAME} DISPLAY LINE "[S] Crates project set up"
               REJECT "[*] " ARGS crates.ngp -P -r gl2 -m none -enable_profiler -time_live 2)

# The demo under valgrind: no memory error and no definite leak in a short run (builds without
# the sanitizers only).
find_program(QZ_VALGRIND valgrind)
if(QZ_VALGRIND AND NOT QZ_SANITIZE)
  add_test(NAME player_demo_valgrind
           COMMAND ${QZ_VALGRIND} --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
                   $<TARGET_FILE:quazel> crates.nms -r none -m none -time_live 1
           WORKING_DIRECTORY ${QZ_DEMO_GAME})
  set_tests_properties(player_demo_valgrind PROPERTIES LABELS valgrind)
endif()

# The demo played with real X events (xdotool): the space bar and a left click kick the ball.
# It runs on a display of its own: other tests' windows can take neither its pointer nor its focus.
add_test(NAME player_demo_input
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/own_display.sh bash ${CMAKE_CURRENT_SOURCE_DIR}/player_input.sh $<TARGET_FILE:quazel> ${QZ_DEMO_GAME}
                 ${CMAKE_CURRENT_BINARY_DIR}/player_runs/demo_input)
set_tests_properties(player_demo_input PROPERTIES
  SKIP_RETURN_CODE 77 LABELS gl
  ENVIRONMENT "LIBGL_ALWAYS_SOFTWARE=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")

# A game's 2D layer played with real X events (xdotool): a click on its button window reaches
# the window's script handler through the player's mouse. On a display of its own: other
# tests' windows can take neither its pointer nor its focus.
add_test(NAME player_ui_click
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/own_display.sh bash ${CMAKE_CURRENT_SOURCE_DIR}/player_ui_click.sh
                 $<TARGET_FILE:quazel> ${QZ_PLAYER_GAMES}/ui_click ${CMAKE_CURRENT_BINARY_DIR}/player_runs/ui_click)
set_tests_properties(player_ui_click PROPERTIES
  SKIP_RETURN_CODE 77 LABELS gl
  ENVIRONMENT "LIBGL_ALWAYS_SOFTWARE=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
