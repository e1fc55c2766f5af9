#pragma once

#include <memory>
#include <string>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include <karvel/basic/exception.h>
#include <karvel/model/components.h>

namespace karvel {

// A range over the components of one kind, in creation order. Like an input iterator it
// is its own iterator: begin() and end() are copies of it.
template <typename Component>
class ComponentRange {
 public:
  using Storage = std::vector<std::unique_ptr<Component>>;
  ComponentRange(const Storage& storage, std::size_t position)
      : storage_{&storage}, position_{position} {}

  ComponentRange begin() const { return *this; }
  ComponentRange end() const { return {*storage_, storage_->size()}; }
  bool operator!=(const ComponentRange& other) const {
    return position_ != other.position_;
  }
  bool operator==(const ComponentRange& other) const {
    return position_ == other.position_;
  }
  const Component& operator*() const { return *(*storage_)[position_]; }
  ComponentRange& operator++() {
    ++position_;
    return *this;
  }

 private:
  const Storage* storage_;
  std::size_t position_;
};

// The components of one kind in a model, with lookup by uuid in O(1).
template <typename Component>
class ComponentCollection {
 public:
  index_t size() const { return static_cast<index_t>(components_.size()); }
  ComponentRange<Component> range() const { return {components_, 0}; }
  bool contains(const uuid& id) const { return index_.contains(id); }
  // The component with that id, or nullptr.
  const Component* find(const uuid& id) const {
    const auto found = index_.find(id);
    return found == index_.end() ? nullptr : components_[found->second].get();
  }
  // Throws KarvelException naming the id when no component of this kind has it.
  const Component& at(const uuid& id) const { return *components_[position(id)]; }
  Component& modifiable(const uuid& id) { return *components_[position(id)]; }

  template <typename... Args>
  Component& create(const uuid& id, Args&&... args) {
    if (contains(id)) {
      throw KarvelException{"[" + component_type_name(Component::component_type) +
                            "s] A component with id " + id.string() + " already exists"};
    }
    components_.push_back(std::make_unique<Component>(id, std::forward<Args>(args)...));
    index_.emplace(id, size() - 1);
    return *components_.back();
  }

 private:
  index_t position(const uuid& id) const {
    const auto found = index_.find(id);
    if (found == index_.end()) {
      throw KarvelException{
          "[" + component_type_name(Component::component_type) + "s] Unknown " +
          component_type_name(Component::component_type) + " id " + id.string()};
    }
    return found->second;
  }

  std::vector<std::unique_ptr<Component>> components_;
  absl::flat_hash_map<uuid, index_t> index_;
};

template <index_t D>
class Corners {
 public:
  index_t nb_corners() const { return corners_.size(); }
  ComponentRange<Corner<D>> corners() const { return corners_.range(); }
  const Corner<D>& corner(const uuid& id) const { return corners_.at(id); }
  bool has_corner(const uuid& id) const { return corners_.contains(id); }
  ComponentCollection<Corner<D>>& modifiable_corners(ModelBuilderKey) { return corners_; }

 private:
  ComponentCollection<Corner<D>> corners_;
};

template <index_t D>
class Lines {
 public:
  index_t nb_lines() const { return lines_.size(); }
  ComponentRange<Line<D>> lines() const { return lines_.range(); }
  const Line<D>& line(const uuid& id) const { return lines_.at(id); }
  bool has_line(const uuid& id) const { return lines_.contains(id); }
  ComponentCollection<Line<D>>& modifiable_lines(ModelBuilderKey) { return lines_; }

 private:
  ComponentCollection<Line<D>> lines_;
};

template <index_t D>
class Surfaces {
 public:
  using SurfaceRange = ComponentRange<Surface<D>>;
  index_t nb_surfaces() const { return surfaces_.size(); }
  SurfaceRange surfaces() const { return surfaces_.range(); }
  const Surface<D>& surface(const uuid& id) const { return surfaces_.at(id); }
  bool has_surface(const uuid& id) const { return surfaces_.contains(id); }
  const Surface<D>* find_surface(const uuid& id) const { return surfaces_.find(id); }
  ComponentCollection<Surface<D>>& modifiable_surfaces(ModelBuilderKey) {
    return surfaces_;
  }

 private:
  ComponentCollection<Surface<D>> surfaces_;
};

template <index_t D>
class Blocks {
 public:
  index_t nb_blocks() const { return blocks_.size(); }
  ComponentRange<Block<D>> blocks() const { return blocks_.range(); }
  const Block<D>& block(const uuid& id) const { return blocks_.at(id); }
  bool has_block(const uuid& id) const { return blocks_.contains(id); }
  ComponentCollection<Block<D>>& modifiable_blocks(ModelBuilderKey) { return blocks_; }

 private:
  ComponentCollection<Block<D>> blocks_;
};

}  // namespace karvel
