// KvOpenModuleDecoder: tracker modules (MOD, S3M, XM, IT) through libopenmpt.
//
// libopenmpt recognises the format by content and renders straight to 44100 Hz
// stereo s16. Data no module type claims is refused by libopenmpt's header
// probe, which costs a microsecond where a full load attempt sets up a whole
// player first; other load failures carry libopenmpt's own message.
//
// Depends on: libopenmpt (C interface).
#include <libopenmpt/libopenmpt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../audio/Decoder.h"

namespace {

class KvOpenmptDecoder : public KvDecoder {
 public:
  explicit KvOpenmptDecoder(openmpt_module* M) : Module(M) {}
  ~KvOpenmptDecoder() override { openmpt_module_destroy(Module); }

  size_t Decode(int16_t* Out, size_t MaxFrames) override {
    return openmpt_module_read_interleaved_stereo(Module, KvMixRate, MaxFrames, Out);
  }

  bool Rewind() override { return openmpt_module_set_position_seconds(Module, 0.0) >= 0.0; }

 private:
  openmpt_module* Module;
};

}  // namespace

std::unique_ptr<KvDecoder> KvOpenModuleDecoder(const std::string& FileName, bool Loop,
                                               std::string& ErrorText) {
  std::vector<uint8_t> Data;
  if (!KvReadWholeFile(FileName, Data, ErrorText)) return nullptr;
  return KvOpenModuleDecoder(Data, Loop, ErrorText);
}

std::unique_ptr<KvDecoder> KvOpenModuleDecoder(const std::vector<uint8_t>& Data, bool Loop,
                                               std::string& ErrorText) {
  const int Probe = openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, Data.data(), Data.size(),
                                              Data.size(), openmpt_log_func_silent, nullptr,
                                              openmpt_error_func_ignore, nullptr, nullptr, nullptr);
  if (Probe == OPENMPT_PROBE_FILE_HEADER_RESULT_FAILURE || Probe == OPENMPT_PROBE_FILE_HEADER_RESULT_WANTMOREDATA) {
    ErrorText = "not a module type libopenmpt reads";
    return nullptr;
  }
  int Code = OPENMPT_ERROR_OK;
  const char* Message = nullptr;
  openmpt_module* M = openmpt_module_create_from_memory2(
      Data.data(), Data.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_store, nullptr,
      &Code, &Message, nullptr);
  if (!M) {
    if (Message && *Message) {
      ErrorText = Message;
    } else {
      const char* Generic = openmpt_error_string(Code);
      ErrorText = Generic ? Generic : "could not load module";
      openmpt_free_string(Generic);
    }
    openmpt_free_string(Message);
    return nullptr;
  }
  openmpt_free_string(Message);
  openmpt_module_set_repeat_count(M, Loop ? -1 : 0);
  return std::make_unique<KvOpenmptDecoder>(M);
}
