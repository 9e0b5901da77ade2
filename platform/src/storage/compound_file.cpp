// Compound files through libgsf (its OLE2 reader and writer).
#include "platform/storage.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <mutex>
#include <string>

namespace rzd {

namespace {

void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
}

// Drops a GObject reference when it goes.
struct Unref {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref>;

}  // namespace

struct CompoundFile::Impl {
  Ref<GsfInfile> root;
};

CompoundFile::CompoundFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CompoundFile::~CompoundFile() = default;

std::unique_ptr<CompoundFile> CompoundFile::Open(const std::filesystem::path& file) {
  InitialiseOnce();
  GError* error = nullptr;
  Ref<GsfInput> input(gsf_input_stdio_new(file.c_str(), &error));
  if (error) g_error_free(error);
  if (!input) return nullptr;
  error = nullptr;
  Ref<GsfInfile> root(gsf_infile_msole_new(input.get(), &error));
  if (error) g_error_free(error);
  if (!root) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->root = std::move(root);
  return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(impl)));
}

std::optional<std::vector<uint8_t>> CompoundFile::ReadStream(std::string_view name, size_t maxBytes) const {
  const std::string key(name);
  Ref<GsfInput> stream(gsf_infile_child_by_name(impl_->root.get(), key.c_str()));
  // A storage is no stream.
  if (!stream || (GSF_IS_INFILE(stream.get()) && gsf_infile_num_children(GSF_INFILE(stream.get())) >= 0)) {
    return std::nullopt;
  }
  const gsf_off_t size = gsf_input_size(stream.get());
  if (size < 0 || static_cast<uint64_t>(size) > maxBytes) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!bytes.empty() && !gsf_input_read(stream.get(), bytes.size(), bytes.data())) return std::nullopt;
  return bytes;
}

bool WriteCompoundFile(const std::filesystem::path& file,
                       const std::vector<std::pair<std::string, std::vector<uint8_t>>>& streams) {
  InitialiseOnce();
  GError* error = nullptr;
  Ref<GsfOutput> output(gsf_output_stdio_new(file.c_str(), &error));
  if (error) g_error_free(error);
  if (!output) return false;
  Ref<GsfOutfile> root(gsf_outfile_msole_new(output.get()));
  if (!root) return false;
  bool ok = true;
  for (const auto& [name, bytes] : streams) {
    Ref<GsfOutput> child(gsf_outfile_new_child(root.get(), name.c_str(), FALSE));
    ok = child && (bytes.empty() || gsf_output_write(child.get(), bytes.size(), bytes.data())) && ok;
    if (child) ok = gsf_output_close(child.get()) && ok;
  }
  // Closing the root writes the directory and closes the file beneath it.
  ok = gsf_output_close(GSF_OUTPUT(root.get())) && ok;
  if (!gsf_output_is_closed(output.get())) ok = gsf_output_close(output.get()) && ok;
  return ok;
}

}  // namespace rzd
