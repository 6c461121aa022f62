// MapArray: a small map from text keys to pointer values, kept as a Vector
// of entries in insertion order and searched linearly. The map keeps its own
// copy of every key; values are not owned (MapArray_deleteAll frees them
// with free() for maps whose values are malloc'd texts).
#ifndef MIRANDOL_MAP_ARRAY_H
#define MIRANDOL_MAP_ARRAY_H

struct Vector;

struct MapArray {
    Vector *entries;
};

MapArray *MapArray_new(int capacity);
void MapArray_delete(MapArray *map);
void MapArray_deleteAll(MapArray *map);
void *MapArray_get(const MapArray *map, const char *key);
// Never replaces: answers false when the key already has a (non-null)
// value. A key whose value is null counts as absent and takes the new value.
bool MapArray_put(MapArray *map, const char *key, void *value);
int MapArray_size(const MapArray *map);
// New vector: key 0, value 0, key 1, value 1, ... (the keys stay the map's).
Vector *MapArray_toVector(const MapArray *map);

#endif
