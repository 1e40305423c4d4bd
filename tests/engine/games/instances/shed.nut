// The shed's script: one unit per copy, its owner the instance that placed the copy.
class Shed {
  function OnSetup(item) {
    print("Shed: " + ItemGetName(item) + " set up with " + InstanceGetItemList(ItemCastToInstance(item)).len() + " items");
  }
}
