#include <gtest/gtest.h>

#include "Map/MapArray.h"
#include "Queue.h"
#include "Vector/Vector.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

std::vector<void *> items(Vector *v) { return std::vector<void *>(Vector_data(v), Vector_data(v) + Vector_size(v)); }

} // namespace

TEST(Vector, GrowsAndKeepsOrder)
{
    Vector *v = Vector_new(1);
    int a, b, c, d;
    for (int *p : {&a, &b, &c})
        Vector_add(v, p);
    EXPECT_EQ(Vector_indexOf(v, &b), 1);
    EXPECT_EQ(Vector_indexOf(v, &d), -1);
    Vector_insertAt(v, 0, &d);
    EXPECT_EQ(items(v), std::vector<void *>({&d, &a, &b, &c}));
    EXPECT_EQ(Vector_removeAt(v, 1), &a);
    Vector_reverse(v);
    EXPECT_EQ(items(v), std::vector<void *>({&c, &b, &d}));
    EXPECT_EQ(Vector_removeLast(v), &d);
    Vector_clear(v);
    EXPECT_EQ(Vector_removeLast(v), nullptr);
    EXPECT_FALSE(Vector_checkBounds(v, 0));
    // deleteAll frees the elements and skips null ones (the leak checker watches).
    for (void *e : {(void *)strdup("one"), (void *)nullptr, malloc(10)})
        Vector_add(v, e);
    Vector_deleteAll(v);
}

TEST(VectorDeathTest, MisuseStopsWithTheFailedCondition)
{
    Vector *v = Vector_create();
    EXPECT_DEATH(Vector_insertAt(v, 1, &v), "Vector_checkBounds\\(vector, index\\) != FALSE");
    EXPECT_DEATH(Vector_new(0), "elements > 0");
    Vector_delete(v);
}

TEST(MapArray, FirstValueWinsKeysAreCopiedAndNullDoesNotBlock)
{
    MapArray *map = MapArray_new(1);
    char key[8] = "font";
    int a, b;
    EXPECT_TRUE(MapArray_put(map, key, &a));
    strcpy(key, "xxxx");   // the caller's buffer changes; the map keeps its key
    EXPECT_EQ(MapArray_get(map, "xxxx"), nullptr);
    EXPECT_FALSE(MapArray_put(map, "font", &b));
    EXPECT_EQ(MapArray_get(map, "Font"), nullptr);
    EXPECT_TRUE(MapArray_put(map, "k", nullptr));
    EXPECT_TRUE(MapArray_put(map, "k", &b));
    EXPECT_EQ(std::vector<void *>({MapArray_get(map, "font"), MapArray_get(map, "k")}), std::vector<void *>({&a, &b}));
    EXPECT_EQ(MapArray_size(map), 2);
    // toVector lists keys and values in order.
    Vector *v = MapArray_toVector(map);
    ASSERT_EQ(Vector_size(v), 4);
    EXPECT_STREQ((const char *)Vector_get(v, 0), "font");
    EXPECT_STREQ((const char *)Vector_get(v, 2), "k");
    EXPECT_EQ(std::vector<void *>({Vector_get(v, 1), Vector_get(v, 3)}), std::vector<void *>({&a, &b}));
    Vector_delete(v);
    MapArray_delete(map);
    map = MapArray_new(3);
    MapArray_put(map, "owned", strdup("value"));
    MapArray_deleteAll(map);   // frees the value too
}

TEST(Queue, FirstInFirstOut)
{
    Queue *q = Queue_new();
    int a, b;
    EXPECT_EQ(Queue_pop(q), nullptr);
    Queue_push(q, &a);
    Queue_push(q, &b);
    EXPECT_EQ(Queue_peek(q), &a);
    EXPECT_EQ(Queue_peekLast(q), &b);
    EXPECT_EQ(Queue_pop(q), &a);
    EXPECT_EQ(Queue_pop(q), &b);
    EXPECT_TRUE(Queue_isEmpty(q));
    EXPECT_EQ(Queue_peekLast(q), nullptr);
    Queue_push(q, &a);   // the last pointer was cleared: pushing works again
    EXPECT_EQ(Queue_pop(q), &a);
    Queue_delete(q);
}
