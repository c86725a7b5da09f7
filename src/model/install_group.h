// Groups and directories: the file containers that an install definition holds below its root.
// A group may hang only under the install root or under another group; a directory may hang
// anywhere.
#pragma once

#include <memory>
#include <string>

#include "model/file_container.h"

namespace tmby {

// A group's settings for a component-selection dialog. The definition stores and restores them
// one by one; there is no copy from another instance.
class TInstallGroupDialogOptions : public TPersistent {
  TMBY_CLASS(TInstallGroupDialogOptions, TPersistent)
 public:
  explicit TInstallGroupDialogOptions(TPersistent* holder) : holder_(holder) {}
  TPersistent* GetOwner() const override { return holder_; }

  bool AllowChangeDir = true;
  bool AllowExcludeInclude = true;
  TStrings Description;
  bool DisplayDirectory = true;
  TBytes SmallIcon;
  bool HasPassword = false;
  bool ShowRegardlessOfInclude = true;

  const std::string& Password() const { return password_; }
  // Outside loading, a non-empty password also sets HasPassword.
  void SetPassword(const std::string& value);

 private:
  TPersistent* holder_;
  std::string password_;
};

class TCustomInstallGroup : public TFileContainer {
  TMBY_CLASS(TCustomInstallGroup, TFileContainer)
 public:
  explicit TCustomInstallGroup(TComponent* owner);
  ~TCustomInstallGroup() override;

  TInstallGroupDialogOptions& DialogOptions() const { return *dialogOptions_; }

  int ComponentType() const override { return ctGroup; }
  TPlaceKind PlaceKind() const override { return pkGroup; }
  // Null stands for the install root. Anything but the root or another group raises
  // IEInstallGroup, and the group stays where it was.
  void SetContainer(TInstallContainer* value) override;
  // A group read without a container is placed under the install root.
  void Loaded() override;

 private:
  std::unique_ptr<TInstallGroupDialogOptions> dialogOptions_;
};

class TInstallGroup : public TCustomInstallGroup {
  TMBY_CLASS(TInstallGroup, TCustomInstallGroup)
 public:
  explicit TInstallGroup(TComponent* owner) : TCustomInstallGroup(owner) {}
};

class TInstallDirectory : public TFileContainer {
  TMBY_CLASS(TInstallDirectory, TFileContainer)
 public:
  explicit TInstallDirectory(TComponent* owner) : TFileContainer(owner) {}
  // Also labels the directory "Install Directory <n>".
  void DesignCreated() override;
  // Frees every file whose source file is missing, the last first.
  void RemoveMissingFiles();
};

// Registers the install object classes (and the path specifier kind of file containers) for the
// definition reader.
void RegisterInstallObjectClasses(TClassRegistry& registry);

}  // namespace tmby
