#include "Map/MapArray.h"

#include "Assert.h"
#include "Vector/Vector.h"

#include <stdlib.h>
#include <string.h>

static const char *SOURCE = "MapArray";

struct MapEntry {
    char *key;
    void *value;
};

MapArray *MapArray_new(int capacity)
{
    MapArray *map = (MapArray *)malloc(sizeof(MapArray));
    M2_ASSERT(map != NULL, SOURCE);
    map->entries = Vector_new(capacity);
    return map;
}

static void deleteEntries(MapArray *map, bool values)
{
    M2_ASSERT(map != NULL, SOURCE);
    for (int i = 0; i < Vector_size(map->entries); i++) {
        MapEntry *entry = (MapEntry *)Vector_get(map->entries, i);
        free(entry->key);
        if (values)
            free(entry->value);
        free(entry);
    }
    Vector_delete(map->entries);
    free(map);
}

void MapArray_delete(MapArray *map)
{
    deleteEntries(map, false);
}

void MapArray_deleteAll(MapArray *map)
{
    deleteEntries(map, true);
}

static MapEntry *findEntry(const MapArray *map, const char *key)
{
    for (int i = 0; i < Vector_size(map->entries); i++) {
        MapEntry *entry = (MapEntry *)Vector_get(map->entries, i);
        if (strcmp(entry->key, key) == 0)
            return entry;
    }
    return NULL;
}

void *MapArray_get(const MapArray *map, const char *key)
{
    M2_ASSERT(map != NULL, SOURCE);
    M2_ASSERT(key != NULL, SOURCE);
    MapEntry *entry = findEntry(map, key);
    return entry ? entry->value : NULL;
}

bool MapArray_put(MapArray *map, const char *key, void *value)
{
    M2_ASSERT(map != NULL, SOURCE);
    M2_ASSERT(key != NULL, SOURCE);
    MapEntry *existing = findEntry(map, key);
    if (existing) {
        if (existing->value != NULL)
            return false;
        existing->value = value;
        return true;
    }
    MapEntry *entry = (MapEntry *)malloc(sizeof(MapEntry));
    M2_ASSERT(entry != NULL, SOURCE);
    entry->key = strdup(key);
    M2_ASSERT(entry->key != NULL, SOURCE);
    entry->value = value;
    Vector_add(map->entries, entry);
    return true;
}

int MapArray_size(const MapArray *map)
{
    M2_ASSERT(map != NULL, SOURCE);
    return Vector_size(map->entries);
}

Vector *MapArray_toVector(const MapArray *map)
{
    M2_ASSERT(map != NULL, SOURCE);
    int count = Vector_size(map->entries);
    Vector *vector = Vector_new(count > 0 ? count * 2 : 2);
    for (int i = 0; i < count; i++) {
        MapEntry *entry = (MapEntry *)Vector_get(map->entries, i);
        Vector_add(vector, entry->key);
        Vector_add(vector, entry->value);
    }
    return vector;
}
