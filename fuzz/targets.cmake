# Every fuzz target: fenlark_fuzz_target(<name> LIBS <libraries>) for the
# source fuzz_<name>.cpp of this folder, whose seeds are in corpus/<name>/, its
# minimised findings in regressions/<name>/ and its dictionary (text formats)
# in <name>.dict. fuzz/CMakeLists.txt makes a libFuzzer executable of each,
# tests/fuzz/ replays the seeds and findings of each in the test build.
fenlark_fuzz_target(kml_document LIBS fenlark_io)
fenlark_fuzz_target(number_text LIBS fenlark_io)
fenlark_fuzz_target(product_zip LIBS fenlark_io)
fenlark_fuzz_target(geotiff LIBS fenlark_io)
fenlark_fuzz_target(orthomosaic_lot LIBS fenlark_io)
fenlark_fuzz_target(orthomosaic_map_index LIBS fenlark_io)
fenlark_fuzz_target(natnet_header LIBS fenlark_analysis)
fenlark_fuzz_target(natnet_training_set LIBS fenlark_analysis)
fenlark_fuzz_target(habitat_plot_file LIBS fenlark_io)
fenlark_fuzz_target(catalogue_reply LIBS fenlark_acquisition)
fenlark_fuzz_target(wms_reply LIBS fenlark_acquisition)
fenlark_fuzz_target(relevancy_text_map LIBS fenlark_workflows)
