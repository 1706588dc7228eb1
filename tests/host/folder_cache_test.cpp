#include "host/app/folder_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>

#include "connection/host/host_objects.h"
#include "host/app/application.h"
#include "platform/script/text_compare.h"

namespace orvex::hostapp {
namespace {

constexpr const char* kRoot = "ftp://server\\pub";

com::ComPtr<HostFile> File(const std::string& folder, const std::string& name, double size = 0) {
  auto file = NewHostFile();
  file->Init(folder + "\\" + name, name, size, Date(), 0, false);
  return file;
}

com::ComPtr<HostFolder> Folder(const std::string& folder, const std::string& name) {
  auto item = NewHostFolder();
  item->Init(folder + "\\" + name, name, Date(), 0, false);
  return item;
}

// A collection as a listing builds it: keyed by name, except a name that a
// case variant already holds as key.
template <class Item>
com::ComPtr<script::Collection> Collection(const std::vector<com::ComPtr<Item>>& items) {
  auto collection = script::NewCollection();
  for (const auto& item : items) {
    if (collection->Find(item->Name())) {
      collection->Add(Variant(item));
    } else {
      collection->Add(Variant(item), item->Name());
    }
  }
  return collection;
}

// Names in collection order, each marked "*" when it can be found by its key.
std::string Names(const com::ComPtr<script::Collection>& collection) {
  std::string names;
  for (std::int32_t position = 1; position <= collection->Count(); ++position) {
    const Variant item = collection->Item(position);
    std::string name = item.AsInterface<HostFile>() ? item.AsInterface<HostFile>()->Name()
                                                   : item.AsInterface<HostFolder>()->Name();
    auto found = collection->Find(name);
    const bool keyed = found && found->AsObject().get() == item.AsObject().get();
    names += (names.empty() ? "" : " ") + name + (keyed ? "*" : "");
  }
  return names;
}

class FolderCacheTest : public ::testing::Test {
 protected:
  // Caches an empty listing of `path`.
  void Cache(const std::string& path) {
    cache_->SetFolders(path, script::NewCollection());
    cache_->SetFiles(path, script::NewCollection());
  }
  bool Cached(const std::string& path) {
    com::ComPtr<script::Collection> folders, files;
    return cache_->GetContents(path, folders, files);
  }
  std::string FileNames(const std::string& path) {
    com::ComPtr<script::Collection> folders, files;
    if (!cache_->GetContents(path, folders, files)) return "(not cached)";
    return Names(files);
  }
  std::string FolderNames(const std::string& path) {
    com::ComPtr<script::Collection> folders, files;
    if (!cache_->GetContents(path, folders, files)) return "(not cached)";
    return Names(folders);
  }

  com::ComPtr<MemoryFolderCache> cache_ = MemoryFolderCache::Create();
};

TEST_F(FolderCacheTest, AListingIsHandedOutOnlyWhenBothHalvesAreCached) {
  com::ComPtr<script::Collection> folders = script::NewCollection(), files = script::NewCollection();
  cache_->SetFiles(kRoot, Collection<HostFile>({File(kRoot, "a.txt")}));
  EXPECT_FALSE(cache_->GetContents(kRoot, folders, files));
  EXPECT_FALSE(folders);
  EXPECT_FALSE(files);

  cache_->SetFolders(kRoot, Collection<HostFolder>({Folder(kRoot, "docs")}));
  ASSERT_TRUE(cache_->GetContents(kRoot, folders, files));
  EXPECT_EQ(Names(folders), "docs*");
  EXPECT_EQ(Names(files), "a.txt*");

  // Separators are alike and trailing ones do not count; letter case does.
  EXPECT_TRUE(Cached("ftp://server/pub/"));
  EXPECT_TRUE(Cached("ftp:\\\\server\\\\pub\\"));
  EXPECT_FALSE(Cached("ftp://server/Pub"));
  EXPECT_FALSE(Cached("ftp://server/pub/docs"));

  // A null collection forgets that half again.
  cache_->SetFolders(kRoot, nullptr);
  EXPECT_FALSE(Cached(kRoot));
}

TEST_F(FolderCacheTest, CallersChangingTheirCollectionsDoNotChangeTheCache) {
  auto stored = Collection<HostFile>({File(kRoot, "a.txt")});
  cache_->SetFiles(kRoot, stored);
  cache_->SetFolders(kRoot, script::NewCollection());
  stored->Add(Variant(File(kRoot, "added-later.txt")), "added-later.txt");

  com::ComPtr<script::Collection> folders, files;
  ASSERT_TRUE(cache_->GetContents(kRoot, folders, files));
  EXPECT_EQ(Names(files), "a.txt*");
  files->Remove(1);
  folders->Add(Variant(Folder(kRoot, "x")), "x");
  EXPECT_EQ(FileNames(kRoot), "a.txt*");
  EXPECT_EQ(FolderNames(kRoot), "");
}

TEST_F(FolderCacheTest, UpdateFileReplacesAddsAndRemovesByExactName) {
  // The server lists names that differ only in case; the second one has no
  // key in the listing.
  cache_->SetFiles(kRoot, Collection<HostFile>({File(kRoot, "README", 1), File(kRoot, "readme", 2),
                                                File(kRoot, "z.txt", 3)}));
  cache_->SetFolders(kRoot, script::NewCollection());
  ASSERT_EQ(FileNames(kRoot), "README* readme z.txt*");

  // Replacing the unkeyed one keeps its place and leaves its case twin alone.
  cache_->UpdateFile(File(kRoot, "readme", 20));
  com::ComPtr<script::Collection> folders, files;
  ASSERT_TRUE(cache_->GetContents(kRoot, folders, files));
  EXPECT_EQ(Names(files), "README* readme z.txt*");
  EXPECT_EQ(files->Item(2).AsInterface<HostFile>()->Size(), 20);
  EXPECT_EQ(files->Item(1).AsInterface<HostFile>()->Size(), 1);

  // A new name is appended.
  cache_->UpdateFile(File(kRoot, "new.bin"));
  EXPECT_EQ(FileNames(kRoot), "README* readme z.txt* new.bin*");

  // A deleted item leaves; its case twin now gets the key.
  auto gone = File(kRoot, "README");
  gone->Deleted(true);
  cache_->UpdateFile(gone);
  EXPECT_EQ(FileNames(kRoot), "readme* z.txt* new.bin*");

  // Files do not touch the folder half of the listing.
  EXPECT_EQ(FolderNames(kRoot), "");
}

// A long random run of replacements, additions and deletions in a listing
// full of case twins ("Straße" and "STRAßE", "Ärger" and "ärger"), with names
// long enough that the text of dropped keys is packed away many times over.
// After every step the listing holds exactly the expected names in the
// expected order, each item found by its exact name carries the newest
// size, and of every set of case twins exactly one is keyed.
TEST_F(FolderCacheTest, UpdatesKeepEveryNameRightThroughTwinsAndLongKeys) {
  const std::string long_part(900, 'n');
  const std::vector<std::string> stems = {"Straße", "Ärger", "readme", "Ωmega", long_part};
  std::vector<std::string> pool;
  for (const auto& stem : stems) {
    for (int variant = 0; variant < 3; ++variant) {
      std::string name = stem;
      // Case variants of one stem: ASCII and Latin-1 letters upper-cased in turn.
      if (variant == 1) name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      if (variant == 2) {
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (stem == "Ärger") name = "ärger";  // ä, the lower case of Ä
      }
      for (int serial = 0; serial < 4; ++serial) pool.push_back(name + "-" + std::to_string(serial) + ".bin");
    }
  }
  struct Expected {
    std::string name;
    double size;
  };
  std::vector<Expected> model;
  cache_->SetFiles(kRoot, script::NewCollection());
  cache_->SetFolders(kRoot, script::NewCollection());
  std::mt19937 random(11);
  for (int step = 0; step < 4000; ++step) {
    const std::string& name = pool[random() % pool.size()];
    const auto at = std::find_if(model.begin(), model.end(), [&](const Expected& e) { return e.name == name; });
    auto file = File(kRoot, name, step);
    if (random() % 3 == 0) {
      file->Deleted(true);
      if (at != model.end()) model.erase(at);
    } else if (at != model.end()) {
      at->size = step;
    } else {
      model.push_back({name, static_cast<double>(step)});
    }
    cache_->UpdateFile(file);

    com::ComPtr<script::Collection> folders, files;
    ASSERT_TRUE(cache_->GetContents(kRoot, folders, files));
    ASSERT_EQ(files->Count(), static_cast<std::int32_t>(model.size())) << "step " << step;
    std::map<std::string, int> keyed_per_twins;
    for (std::size_t index = 0; index < model.size(); ++index) {
      const auto position = static_cast<std::int32_t>(index + 1);
      const auto item = files->Item(position).AsInterface<HostFile>();
      ASSERT_EQ(item->Name(), model[index].name) << "step " << step;
      ASSERT_EQ(item->Size(), model[index].size) << "step " << step;
      keyed_per_twins[script::FoldCase(model[index].name)] += files->Key(position).empty() ? 0 : 1;
      if (!files->Key(position).empty()) {
        ASSERT_EQ(files->Key(position), model[index].name);
        ASSERT_EQ(files->Position(model[index].name), position);
      }
    }
    for (const auto& [twins, keyed] : keyed_per_twins) ASSERT_EQ(keyed, 1) << twins << ", step " << step;
  }
}

TEST_F(FolderCacheTest, UpdatesOfAFolderThatIsNotCachedAreIgnored) {
  cache_->UpdateFile(File(kRoot, "a.txt"));
  cache_->UpdateFolder(Folder(kRoot, "docs"));
  EXPECT_FALSE(Cached(kRoot));

  // Half a listing is updated but still not handed out.
  cache_->SetFiles(kRoot, script::NewCollection());
  cache_->UpdateFolder(Folder(kRoot, "docs"));
  cache_->UpdateFile(File(kRoot, "a.txt"));
  cache_->SetFolders(kRoot, script::NewCollection());
  EXPECT_EQ(FileNames(kRoot), "a.txt*");
  EXPECT_EQ(FolderNames(kRoot), "");
}

TEST_F(FolderCacheTest, ADeletedFolderLeavesItsParentAndTakesItsSubtreeAlong) {
  const std::string dir = std::string(kRoot) + "\\dir";
  cache_->SetFolders(kRoot, Collection<HostFolder>({Folder(kRoot, "dir"), Folder(kRoot, "dir2")}));
  cache_->SetFiles(kRoot, script::NewCollection());
  for (const std::string& path : {dir, dir + "\\sub", dir + "\\sub\\deep", std::string(kRoot) + "\\dir2"}) {
    Cache(path);
  }

  auto gone = Folder(kRoot, "dir");
  gone->Deleted(true);
  cache_->UpdateFolder(gone);

  EXPECT_EQ(FolderNames(kRoot), "dir2*");
  EXPECT_FALSE(Cached(dir));
  EXPECT_FALSE(Cached(dir + "/sub"));
  EXPECT_FALSE(Cached(dir + "/sub/deep"));
  EXPECT_TRUE(Cached(std::string(kRoot) + "/dir2"));
}

TEST_F(FolderCacheTest, ClearFolderForgetsThePathAndWithRecursionEverythingBelow) {
  const std::vector<std::string> paths = {"ftp://s", "ftp://s/dir", "ftp://s/dir/sub", "ftp://s/dir/sub/deep",
                                          "ftp://s/dir2", "ftp://s/dir.old", "ftp://s/Dir/sub"};
  struct Case {
    const char* clear;
    bool recursive;
    const char* remaining;  // cached paths afterwards, by index into `paths`
  } const cases[] = {
      {"ftp://s/dir", false, "0 2 3 4 5 6"},
      {"ftp://s/dir", true, "0 4 5 6"},
      {"ftp://s\\dir\\", true, "0 4 5 6"},
      {"ftp://s/dir/sub", true, "0 1 4 5 6"},
      {"ftp://s", true, ""},
      {"ftp://s/missing", true, "0 1 2 3 4 5 6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.clear) + (c.recursive ? " recursive" : ""));
    cache_ = MemoryFolderCache::Create();
    for (const auto& path : paths) Cache(path);
    cache_->ClearFolder(c.clear, c.recursive);
    std::string remaining;
    for (std::size_t index = 0; index < paths.size(); ++index) {
      if (Cached(paths[index])) remaining += (remaining.empty() ? "" : " ") + std::to_string(index);
    }
    EXPECT_EQ(remaining, c.remaining);
  }
}

TEST(GetFolderCacheTest, OneCachePerServerAndLocation) {
  auto application = ReferenceApplication::Create(nullptr);
  auto cache = application->GetFolderCache(nullptr, "server", "ftp://server/pub");
  EXPECT_EQ(application->GetFolderCache(nullptr, "SERVER", "ftp://server\\pub\\"), cache);
  EXPECT_NE(application->GetFolderCache(nullptr, "server", "ftp://server/Pub"), cache);
  EXPECT_NE(application->GetFolderCache(nullptr, "other", "ftp://server/pub"), cache);
}

}  // namespace
}  // namespace orvex::hostapp
