#include "Corvane/TransferGroup.h"

#include "Corvane/Exception.h"

#include <algorithm>
#include <tuple>

namespace Corvane {

  void TransferGroup::add(std::shared_ptr<TransferElement> element) {
    element->checkReadable();
    _elements.push_back(std::move(element));
    _needsRebuild = true;
  }

  std::size_t TransferGroup::getNumberOfTransfers() {
    if(_needsRebuild) rebuild();
    return _blocks.size();
  }

  void TransferGroup::rebuild() {
    std::vector<TransferElement*> sorted;
    for(const auto& element : _elements) {
      if(element->byteSize() > 0) sorted.push_back(element.get());
    }
    auto key = [](const TransferElement* e) {
      return std::make_tuple(e->getBackend().get(), e->getRegisterInfo().bar, e->byteAddress());
    };
    std::sort(sorted.begin(), sorted.end(), [&](auto* a, auto* b) { return key(a) < key(b); });

    _blocks.clear();
    for(auto* element : sorted) {
      auto* backend = element->getBackend().get();
      auto bar = element->getRegisterInfo().bar;
      auto begin = element->byteAddress();
      auto end = begin + element->byteSize();
      bool extendsLast = !_blocks.empty() && _blocks.back().backend == backend && _blocks.back().bar == bar &&
          begin <= _blocks.back().end;
      if(extendsLast) {
        _blocks.back().end = std::max(_blocks.back().end, end);
        _blocks.back().elements.push_back(element);
      }
      else {
        _blocks.push_back(Block{backend, bar, begin, end, {element}, {}});
      }
    }
    _needsRebuild = false;
  }

  void TransferGroup::rethrowReadError(const Block& block) {
    const auto* first = block.elements.front();
    TransferElement::rethrowTransferError("device \"" + first->getDeviceName() + "\": reading register " +
        first->getRegisterInfo().path + (block.elements.size() > 1 ? " and its neighbours" : ""));
  }

  void TransferGroup::readIntoBuffer(Block& block) {
    block.buffer.resize((block.end - block.begin) / 4);
    try {
      block.backend->read(block.bar, block.begin, block.buffer.data(), block.buffer.size() * 4);
    }
    catch(...) {
      rethrowReadError(block);
    }
  }

  void TransferGroup::decode(const Block& block, std::span<const std::int32_t> words) {
    for(auto* element : block.elements) {
      auto offset = (element->byteAddress() - block.begin) / 4;
      element->decodeFrom(words.subspan(offset, element->byteSize() / 4));
    }
  }

  void TransferGroup::stage(const Block& block, std::span<const std::int32_t> words) {
    for(auto* element : block.elements) {
      auto offset = (element->byteAddress() - block.begin) / 4;
      element->decodeStaged(words.subspan(offset, element->byteSize() / 4));
    }
  }

  void TransferGroup::read() {
    if(_needsRebuild) rebuild();
    for(auto& block : _blocks) {
      try {
        block.readInPlace = block.backend->readInPlace(block.bar, block.begin, block.end - block.begin,
            [&block](std::span<const std::int32_t> words) { stage(block, words); });
      }
      catch(...) {
        rethrowReadError(block);
      }
      if(!block.readInPlace) readIntoBuffer(block);
    }
    // every transfer has succeeded: the registers take their new values together
    for(const auto& block : _blocks) {
      if(block.readInPlace) {
        for(auto* element : block.elements) element->commitStaged();
      }
      else {
        decode(block, block.buffer);
      }
    }
    // registers without data (no words to transfer) still take their value
    for(const auto& element : _elements) {
      if(element->byteSize() == 0) element->decode();
    }
  }

} // namespace Corvane
