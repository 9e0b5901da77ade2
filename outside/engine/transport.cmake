# The simulated unit's transport: the socket server library (rzd_engine_server), the rzd-engine
# program and the transport's tests. Included by outside/engine/CMakeLists.txt.
set(RZD_ENGINE_DIR ${CMAKE_CURRENT_LIST_DIR})

file(GLOB RZD_ENGINE_TRANSPORT_SOURCES CONFIGURE_DEPENDS ${RZD_ENGINE_DIR}/src/transport/*.cpp)
add_library(rzd_engine_server STATIC ${RZD_ENGINE_TRANSPORT_SOURCES})
# The model's USB ids come from the driver's model header (header only), so both sides agree.
target_include_directories(rzd_engine_server
  PUBLIC ${RZD_ENGINE_DIR}/include ${CMAKE_SOURCE_DIR}/lowdrv/engine/include
  PRIVATE ${RZD_ENGINE_DIR}/src)
target_link_libraries(rzd_engine_server PUBLIC rzd_model_headers rzdplatform Threads::Threads)

# A unit stand-in for the transport's own tests, and a program serving it with the real
# command line and life cycle of rzd-engine.
add_library(rzd_engine_transport_fake STATIC ${RZD_ENGINE_DIR}/tests/transport_fake_port.cpp)
target_include_directories(rzd_engine_transport_fake PUBLIC ${RZD_ENGINE_DIR}/tests)
target_link_libraries(rzd_engine_transport_fake PUBLIC rzd_engine_server)

add_executable(rzd-engine-fake ${RZD_ENGINE_DIR}/tests/helpers/rzd_engine_fake.cpp)
target_link_libraries(rzd-engine-fake PRIVATE rzd_engine_transport_fake)

rzd_add_tests(engine_transport_tests
  SOURCES ${RZD_ENGINE_DIR}/tests/transport_test.cpp
  LIBS rzd_engine_transport_fake)
add_dependencies(engine_transport_tests rzd-engine-fake)

# The simulated unit as a program: the transport serving the unit's logic.
add_executable(rzd-engine ${RZD_ENGINE_DIR}/src/main.cpp)
target_link_libraries(rzd-engine PRIVATE rzd_engine_server rzd_engine_unit)
rzd_version_record(rzd-engine)
