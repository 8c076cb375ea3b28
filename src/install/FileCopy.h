// The copy phase: every file of the package goes through the unpacker, and
// every external file through the engine's own copy, with the decision per
// file (where it goes, whether an existing file stays, whether the user is
// asked), the progress bars, and the bookkeeping of the later steps (log
// records, COM servers, fonts, shared counts). Runs on the copy thread,
// except DeleteListedFiles.
//
// A file that replaces another is written under a temporary name in the
// target's folder and put in place only when complete, so that a cancel, a
// full disk or a damaged package never leaves a target cut off or missing;
// a target in use keeps the temporary file for the next restart.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "install/CopyRules.h"

namespace brik {

// Byte counters of the phase; 64-bit, so that large installs neither wrap
// the bars nor the sums.
struct TCopyCounters {
    int64_t CurrentFileSize = 0;
    int64_t CurrentFileDone = 0;
    int64_t OverallTotal = 0;
    int64_t OverallDone = 0;
};
TCopyCounters& CopyCounters();

// The catalogue of the package's Data files ([FileInfo] of the settings):
// read once before the phase, so that the copy thread needs no settings
// file. Size, version and font name of "Data\" + key.
void LoadFileCatalogue();
struct TCatalogueEntry {
    int64_t size = -1;  // -1: no line for the file
    std::string version;
    std::string fontName;
};
TCatalogueEntry CatalogueEntryOf(const std::string& dataRelativeName);
// The sum of all sizes, and of those the package list will write.
int64_t CatalogueTotalBytes();
int64_t CatalogueRequiredBytes();

// Starts a phase: VersionAnswer 6, the package pass first.
void BeginCopyPhase();
// The path of the file the phase was at, for the failure message.
const std::string& CurrentTargetPath();
// The phase's failure has been shown to the user already.
bool CopyFailureReported();

bool ExtractPackageFiles();
bool CopyExternalFiles();
// The phase ends where it stands (its thread does not come back): the file
// it was writing goes.
void AbandonCopyPhase();

// An unpack::FileAnswer. 1 with path set: write the file there; 2 the same,
// for a new target that is finished (FinishFileCopy) once the library has
// written it, maybe after later files were decided; 0: skip it; -1: the
// file is refused (a bad name or package, a cancel), the phase fails; 4:
// an earlier file of the same target is still on its way to the disk.
int DecideFileCopy(const std::string& name, int64_t size, TDosTime time, std::string& path);
int FinishFileCopy(const std::string& name, const std::string& writtenPath);
// DLG_VERSIONCONFLICT over the progress dialog: 6 keep, 10 keep all, 7
// replace, 9 replace all.
int ShowVersionConflict(const std::string& path);
void IncrementSharedCount(const std::string& path);
void UpdateProgressBars();

// Deletes the files DeleteFileList names, before the copy thread starts.
void DeleteListedFiles();

// Every existing file of the external list, as the external pass finds it.
void ForEachExternalFile(const std::function<bool(const std::string& path)>& visit);

}  // namespace brik
